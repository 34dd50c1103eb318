// Full blocks decoded with BMI2 shifts and counts for the codes, and the
// samples rebuilt from the residuals with AVX2 prefix sums instead of one
// sample after another. Every function here carries the target attribute,
// so that nothing compiled for AVX2 can run on a processor without it.
#include "codec/FullBlockDecoder.h"

#ifdef KBN_HAVE_AVX2_DECODER

#include <immintrin.h>

#include "codec/BlockDecoding.h"
#include "codec/FullBlock.h"

#define KBN_AVX2 __attribute__((target("avx2,bmi,bmi2")))

namespace kbn {
namespace {

// Within each 128-bit half: every 16-bit lane set to word 7, or to word 3.
KBN_AVX2 inline __m256i WordSeven(__m256i v) {
    return _mm256_shuffle_epi8(v, _mm256_set1_epi16(0x0F0E));
}
KBN_AVX2 inline __m256i WordThree(__m256i v) {
    return _mm256_shuffle_epi8(v, _mm256_set1_epi16(0x0706));
}

// Running sums of sixteen 16-bit lanes, wrapping as the samples do.
KBN_AVX2 inline __m256i PrefixSums(__m256i v) {
    v = _mm256_add_epi16(v, _mm256_slli_si256(v, 2));
    v = _mm256_add_epi16(v, _mm256_slli_si256(v, 4));
    v = _mm256_add_epi16(v, _mm256_slli_si256(v, 8));
    // The low half's total carried into the high half: [0, low] broadcast.
    return _mm256_add_epi16(v, WordSeven(_mm256_permute2x128_si256(v, v, 0x08)));
}

// The last lane of v in every lane.
KBN_AVX2 inline __m256i LastLane(__m256i v) { return WordThree(_mm256_permute4x64_epi64(v, 0xFF)); }

// One level of undoing differences over the 32 values: the running sums
// starting from `start`, the last value of the level above in the previous
// block.
KBN_AVX2 inline void Integrate(__m256i& low, __m256i& high, int16_t start) {
    low = _mm256_add_epi16(PrefixSums(low), _mm256_set1_epi16(start));
    high = _mm256_add_epi16(PrefixSums(high), LastLane(low));
}

// A block's samples from its raw codes; false, writing nothing, when a code is
// no 16-bit residual's.
[[gnu::always_inline]] KBN_AVX2 inline bool Rebuild(uint32_t header, const block_decoding::RawCodes& raw, int16_t* out,
                             int32_t (&previous)[3]) {
    const uint32_t order = OrderOf(header);
    const uint32_t k = ParameterOf(header);
    // Each code from its length and first bits, as CodeOf does.
    const __m256i unaryStart = _mm256_set1_epi32(static_cast<int32_t>(k + 1));
    const __m256i lowMask = _mm256_set1_epi32(static_cast<int32_t>((uint32_t{1} << k) - 1));
    const __m128i shift = _mm_cvtsi32_si128(static_cast<int>(k));
    // The residual of code c is (c >> 1) negated when c is odd; the codes of
    // 16-bit residuals are exactly those with (c >> 1) - (c & 1) below 32768.
    const __m256i one = _mm256_set1_epi32(1);
    __m256i residuals[4];
    __m256i excess = _mm256_setzero_si256();
    // The ends count from the start of each group: a code's length is its
    // end less the end before it, except for a group's first. Rotated up a
    // lane, each eight ends hold the one before each but the first, whose
    // is in the last lane of the eight before.
    const __m256i upALane = _mm256_setr_epi32(7, 0, 1, 2, 3, 4, 5, 6);
    const __m256i laneBits = _mm256_setr_epi32(1, 2, 4, 8, 16, 32, 64, 128);
    const uint32_t groupStarts = block_decoding::kGroupStarts[k];
    __m256i rotatedBefore = _mm256_setzero_si256();
    for (uint32_t j = 0; j < 4; ++j) {
        const __m256i ends = _mm256_load_si256(reinterpret_cast<const __m256i*>(raw.ends + 8 * j));
        const __m256i rotated = _mm256_permutevar8x32_epi32(ends, upALane);
        const __m256i endsBefore = _mm256_blend_epi32(rotated, rotatedBefore, 0x01);
        rotatedBefore = rotated;
        const __m256i starts =
            _mm256_and_si256(_mm256_set1_epi32(static_cast<int32_t>(groupStarts >> (8 * j))), laneBits);
        const __m256i end =
            _mm256_sub_epi32(ends, _mm256_andnot_si256(_mm256_cmpeq_epi32(starts, laneBits), endsBefore));
        const __m256i bits = _mm256_load_si256(reinterpret_cast<const __m256i*>(raw.bits + 8 * j));
        const __m256i code = _mm256_or_si256(_mm256_sll_epi32(_mm256_sub_epi32(end, unaryStart), shift),
                                             _mm256_and_si256(_mm256_srli_epi32(bits, 1), lowMask));
        const __m256i magnitude = _mm256_srli_epi32(code, 1);
        const __m256i odd = _mm256_and_si256(code, one);
        excess = _mm256_or_si256(excess, _mm256_sub_epi32(magnitude, odd));
        const __m256i negative = _mm256_sub_epi32(_mm256_setzero_si256(), odd);
        residuals[j] = _mm256_sub_epi32(_mm256_xor_si256(magnitude, negative), negative);
    }
    if (!_mm256_testz_si256(excess, _mm256_set1_epi32(~0x7FFF))) return false;
    // Packing works on the 128-bit halves; the permutation puts the values
    // back in order.
    __m256i low = _mm256_permute4x64_epi64(_mm256_packs_epi32(residuals[0], residuals[1]), 0xD8);
    __m256i high = _mm256_permute4x64_epi64(_mm256_packs_epi32(residuals[2], residuals[3]), 0xD8);
    // The last values of the rows of the previous block: the samples, their
    // first and their second differences.
    const auto x1 = static_cast<int16_t>(previous[0]);
    const auto d1 = static_cast<int16_t>(previous[0] - previous[1]);
    const auto d2 = static_cast<int16_t>(d1 - (previous[1] - previous[2]));
    // As many levels of differences undone as the order has. Real banks
    // hold runs of blocks of one order, so the branch costs less than
    // undoing all three levels and keeping those the order has.
    switch (order) {
        case 3: Integrate(low, high, d2); [[fallthrough]];
        case 2: Integrate(low, high, d1); [[fallthrough]];
        case 1: Integrate(low, high, x1); break;
        default: break;
    }
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), low);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 16), high);
    previous[0] = out[31];
    previous[1] = out[30];
    previous[2] = out[29];
    return true;
}

}  // namespace

namespace kernels {

KBN_AVX2 uint64_t DecodeFullBlocksAvx2(const uint8_t* data, uint64_t size, uint64_t bitCount, uint64_t& position,
                                       int16_t* out, uint64_t blocks, int32_t (&previous)[3]) {
    // Through a lambda, so that Rebuild is inlined rather than called.
    return block_decoding::DecodeFullBlocksWith<true>(
        data, size, bitCount, position, out, blocks, previous,
        [](uint32_t header, const block_decoding::RawCodes& raw, int16_t* to, int32_t(&last)[3])
            KBN_AVX2 { return Rebuild(header, raw, to, last); });
}

}  // namespace kernels
}  // namespace kbn

#endif
