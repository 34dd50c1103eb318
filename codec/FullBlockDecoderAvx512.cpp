// Full blocks decoded as the AVX2 decoder does, with a block's 32 samples
// rebuilt in one AVX-512 vector: sixteen codes per step, and the running
// sums over all 32 lanes. Every function here carries the target attribute,
// so that nothing compiled for AVX-512 can run on a processor without it.
#include "codec/FullBlockDecoder.h"

#ifdef KBN_HAVE_AVX512_DECODER

// GCC 12's AVX-512 headers start some intrinsics from a deliberately
// undefined vector, which its own -Wuninitialized then reports.
#pragma GCC diagnostic ignored "-Wuninitialized"
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include <immintrin.h>

#include "codec/BlockDecoding.h"
#include "codec/FullBlock.h"

#define KBN_AVX512 __attribute__((target("avx512f,avx512bw,avx2,bmi,bmi2")))

namespace kbn {
namespace {

// Running sums of the 32 16-bit lanes, wrapping as the samples do: within
// each 128-bit lane first, then each lane's total carried into the lanes
// above it.
KBN_AVX512 inline __m512i PrefixSums(__m512i v) {
    v = _mm512_add_epi16(v, _mm512_bslli_epi128(v, 2));
    v = _mm512_add_epi16(v, _mm512_bslli_epi128(v, 4));
    v = _mm512_add_epi16(v, _mm512_bslli_epi128(v, 8));
    // Each 128-bit lane's total (its word 7) in all its words; the lanes
    // below each lane, moved up by one, two and three lanes, add up to
    // what it carries.
    const __m512i total = _mm512_shuffle_epi8(v, _mm512_set1_epi16(0x0F0E));
    const __m512i up1 = _mm512_maskz_shuffle_i64x2(0xFC, total, total, _MM_SHUFFLE(2, 1, 0, 0));
    const __m512i up2 = _mm512_maskz_shuffle_i64x2(0xF0, total, total, _MM_SHUFFLE(1, 0, 0, 0));
    const __m512i up3 = _mm512_maskz_shuffle_i64x2(0xC0, total, total, _MM_SHUFFLE(0, 0, 0, 0));
    return _mm512_add_epi16(_mm512_add_epi16(v, up1), _mm512_add_epi16(up2, up3));
}

// One level of undoing differences over the 32 values, from `start`, the
// last value of the level above in the previous block.
KBN_AVX512 inline __m512i Integrate(__m512i v, int16_t start) {
    return _mm512_add_epi16(PrefixSums(v), _mm512_set1_epi16(start));
}

// A block's samples from its raw codes; false, writing nothing, when a code is
// no 16-bit residual's.
[[gnu::always_inline]] KBN_AVX512 inline bool Rebuild(uint32_t header, const block_decoding::RawCodes& raw,
                                                       int16_t* out, int32_t (&previous)[3]) {
    const uint32_t order = OrderOf(header);
    const uint32_t k = ParameterOf(header);
    // Each code from its length and first bits, as CodeOf does.
    const __m512i unaryStart = _mm512_set1_epi32(static_cast<int32_t>(k + 1));
    const __m512i lowMask = _mm512_set1_epi32(static_cast<int32_t>((uint32_t{1} << k) - 1));
    const __m128i shift = _mm_cvtsi32_si128(static_cast<int>(k));
    // The residual of code c is (c >> 1) negated when c is odd; the codes of
    // 16-bit residuals are exactly those with (c >> 1) - (c & 1) below 32768.
    const __m512i one = _mm512_set1_epi32(1);
    __m256i residuals[2];
    __m512i excess = _mm512_setzero_si512();
    // The ends count from the start of each group: a code's length is its
    // end less the end before it, except for a group's first.
    const __m512i ends[2] = {_mm512_loadu_si512(raw.ends), _mm512_loadu_si512(raw.ends + 16)};
    const __m512i endsBefore[2] = {_mm512_alignr_epi32(ends[0], _mm512_setzero_si512(), 15),
                                   _mm512_alignr_epi32(ends[1], ends[0], 15)};
    const uint32_t groupStarts = block_decoding::kGroupStarts[k];
    for (uint32_t j = 0; j < 2; ++j) {
        const auto withinGroup = static_cast<__mmask16>(~(groupStarts >> (16 * j)));
        const __m512i end = _mm512_mask_sub_epi32(ends[j], withinGroup, ends[j], endsBefore[j]);
        const __m512i bits = _mm512_loadu_si512(raw.bits + 16 * j);
        const __m512i code = _mm512_or_si512(_mm512_sll_epi32(_mm512_sub_epi32(end, unaryStart), shift),
                                             _mm512_and_si512(_mm512_srli_epi32(bits, 1), lowMask));
        const __m512i magnitude = _mm512_srli_epi32(code, 1);
        const __m512i odd = _mm512_and_si512(code, one);
        excess = _mm512_or_si512(excess, _mm512_sub_epi32(magnitude, odd));
        const __m512i negative = _mm512_sub_epi32(_mm512_setzero_si512(), odd);
        residuals[j] = _mm512_cvtepi32_epi16(_mm512_sub_epi32(_mm512_xor_si512(magnitude, negative), negative));
    }
    if (_mm512_test_epi32_mask(excess, _mm512_set1_epi32(~0x7FFF)) != 0) return false;
    __m512i v = _mm512_inserti64x4(_mm512_castsi256_si512(residuals[0]), residuals[1], 1);
    // The last values of the rows of the previous block: the samples, their
    // first and their second differences.
    const auto x1 = static_cast<int16_t>(previous[0]);
    const auto d1 = static_cast<int16_t>(previous[0] - previous[1]);
    const auto d2 = static_cast<int16_t>(d1 - (previous[1] - previous[2]));
    // As many levels of differences undone as the order has (real banks
    // hold runs of blocks of one order, so the branch is cheap).
    switch (order) {
        case 3: v = Integrate(v, d2); [[fallthrough]];
        case 2: v = Integrate(v, d1); [[fallthrough]];
        case 1: v = Integrate(v, x1); break;
        default: break;
    }
    _mm512_storeu_si512(out, v);
    previous[0] = out[31];
    previous[1] = out[30];
    previous[2] = out[29];
    return true;
}

// Through a lambda, so that Rebuild is inlined rather than called.
const auto kRebuildAvx512 = [](uint32_t header, const block_decoding::RawCodes& raw, int16_t* to,
                               int32_t(&last)[3]) KBN_AVX512 { return Rebuild(header, raw, to, last); };

}  // namespace

namespace kernels {

KBN_AVX512 uint64_t DecodeFullBlocksAvx512(const uint8_t* data, uint64_t size, uint64_t bitCount,
                                           uint64_t& position, int16_t* out, uint64_t blocks,
                                           int32_t (&previous)[3]) {
    return block_decoding::DecodeFullBlocksWith<true>(data, size, bitCount, position, out, blocks, previous,
                                                kRebuildAvx512);
}

}  // namespace kernels
}  // namespace kbn

#endif
