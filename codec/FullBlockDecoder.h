#pragma once

#include <cstdint>
#include <vector>

// The decoder's hot path: runs of blocks of exactly 32 samples whose codes are all
// short and valid. A portable decoder and, where the processor has them,
// ones with BMI2 bit instructions and AVX2 or AVX-512 prefix sums do the
// same work; the fastest available is chosen once, at run time.
namespace kbn {

// Decodes up to `blocks` full blocks from bit `position` of `data` (`size`
// bytes) into out[0 .. 32 * blocks), given the three samples before them
// (previous[0] the last). Stops before the first block that needs the
// careful decoder: a code longer than the fast path takes, a code no 16-bit
// residual has, a block that runs past `bitCount`, or one too near the end
// of the bytes for the fast path's loads. Returns how many blocks it
// decoded; `position` and `previous` move on past them.
using FullBlockDecoder = uint64_t (*)(const uint8_t* data, uint64_t size, uint64_t bitCount, uint64_t& position,
                                      int16_t* out, uint64_t blocks, int32_t (&previous)[3]);

struct NamedFullBlockDecoder {
    const char* name;
    FullBlockDecoder decode;
};

// The decoders this processor can run, the fastest last.
const std::vector<NamedFullBlockDecoder>& AvailableFullBlockDecoders();

FullBlockDecoder SelectedFullBlockDecoder();

namespace kernels {
uint64_t DecodeFullBlocksPortable(const uint8_t* data, uint64_t size, uint64_t bitCount, uint64_t& position,
                                  int16_t* out, uint64_t blocks, int32_t (&previous)[3]);
#if (defined(__GNUC__) || defined(__clang__)) && (defined(__x86_64__) || defined(__i386__))
#define KBN_HAVE_AVX2_DECODER 1
uint64_t DecodeFullBlocksAvx2(const uint8_t* data, uint64_t size, uint64_t bitCount, uint64_t& position,
                              int16_t* out, uint64_t blocks, int32_t (&previous)[3]);
#define KBN_HAVE_AVX512_DECODER 1
uint64_t DecodeFullBlocksAvx512(const uint8_t* data, uint64_t size, uint64_t bitCount, uint64_t& position,
                                int16_t* out, uint64_t blocks, int32_t (&previous)[3]);
#endif
}  // namespace kernels

}  // namespace kbn
