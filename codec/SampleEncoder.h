#pragma once

#include <cstdint>

#include "stream/StreamOut.h"

namespace kbn {

// Codes `count` 16-bit samples losslessly and writes the whole encoded
// sample stream: block size (uint16, 32), bit count B (uint64), then
// floor(B / 8) + 1 bytes of packed blocks. Each block of 32 samples (the
// last one shorter, possibly empty) carries its predictor order in 2 bits,
// its Rice parameter in 4 bits and its residual codes.
void EncodeSample(CStreamOut& out, const int16_t* samples, int32_t count);

}  // namespace kbn
