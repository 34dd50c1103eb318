#pragma once

// What the processor offers the vector kernels of the encoder and the
// decoder, asked once; false on other processors and compilers.
namespace kbn::cpu {

// AVX2 with the BMI1 and BMI2 bit instructions.
bool HasAvx2();
// AVX-512 F and BW with POPCNT, and all of the above.
bool HasAvx512();

}  // namespace kbn::cpu
