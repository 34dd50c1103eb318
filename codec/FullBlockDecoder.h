#pragma once

#include <cstdint>
#include <vector>

// The decoder's hot path: blocks of exactly 32 samples whose codes are all
// short and valid. A portable decoder and, where the processor has them, one
// with BMI2 bit instructions and AVX2 prefix sums do the same work; the
// fastest available is chosen once, at run time.
namespace kbn {

// Decodes the full block at bit `position` of `data` (which holds at least
// kFastBlockBytes from there) into out[0..31], given the three samples
// before it (previous[0] the last). On success moves `position` and
// `previous` on and returns true; returns false, changing neither, when the
// block needs the careful decoder: a code longer than 56 bits, a code no
// 16-bit residual has, or blocks that run past `bitCount`.
using FullBlockDecoder = bool (*)(const uint8_t* data, uint64_t bitCount, uint64_t& position, int16_t* out,
                                  int32_t (&previous)[3]);

struct NamedFullBlockDecoder {
    const char* name;
    FullBlockDecoder decode;
};

// The decoders this processor can run, the fastest last.
const std::vector<NamedFullBlockDecoder>& AvailableFullBlockDecoders();

FullBlockDecoder SelectedFullBlockDecoder();

namespace kernels {
bool DecodeFullBlockPortable(const uint8_t* data, uint64_t bitCount, uint64_t& position, int16_t* out,
                             int32_t (&previous)[3]);
#if (defined(__GNUC__) || defined(__clang__)) && (defined(__x86_64__) || defined(__i386__))
#define KBN_HAVE_AVX2_DECODER 1
bool DecodeFullBlockAvx2(const uint8_t* data, uint64_t bitCount, uint64_t& position, int16_t* out,
                         int32_t (&previous)[3]);
#endif
}  // namespace kernels

}  // namespace kbn
