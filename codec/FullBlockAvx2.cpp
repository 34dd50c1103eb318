// Full blocks of 32 samples with AVX2 (and BMI2), for the processors that
// have them: a row is two vectors; the cost sums of all four orders are
// reduced together; and the codes become pairs of (value, width) in vector
// lanes, so that only the appending to the bit stream stays serial. Every
// function here carries the target attribute, so that nothing compiled for
// AVX2 can be called on a processor without it.
#include "codec/FullBlock.h"

#ifdef KBN_HAVE_AVX2_KERNEL

#include <immintrin.h>

#include "codec/ParameterSearch.h"
#include "codec/WindowPick.h"

#define KBN_AVX2 __attribute__((target("avx2,bmi2")))

namespace kbn {
namespace {

using parameter_search::kWindow;

struct Rows {
    __m256i row[kPredictorOrders][2];
};

KBN_AVX2 inline __m256i Load(const int16_t* at) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at)); }

// The p-th differences straight from overlapping loads of the samples (see
// the SSE2 kernel): x - x[-1], x - 2 x[-1] + x[-2], x - 3 x[-1] + 3 x[-2] - x[-3].
KBN_AVX2 inline void BuildRows(const int16_t* block, Rows& rows) {
    for (uint32_t j = 0; j < 2; ++j) {
        const int16_t* at = block + 16 * j;
        const __m256i x0 = Load(at), x1 = Load(at - 1), x2 = Load(at - 2), x3 = Load(at - 3);
        const __m256i d1 = _mm256_sub_epi16(x0, x1);
        const __m256i d1Before = _mm256_sub_epi16(x1, x2);
        const __m256i d2 = _mm256_sub_epi16(d1, d1Before);
        const __m256i d2Before = _mm256_sub_epi16(d1Before, _mm256_sub_epi16(x2, x3));
        rows.row[0][j] = x0;
        rows.row[1][j] = d1;
        rows.row[2][j] = d2;
        rows.row[3][j] = _mm256_sub_epi16(d2, d2Before);
    }
}

KBN_AVX2 inline __m128i Fold(__m256i v) {
    return _mm_add_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
}

// The lane sums of four vectors, as the four lanes of one: interleaved in
// both halves first, so that a single fold remains.
KBN_AVX2 inline __m128i HorizontalSums(__m256i a, __m256i b, __m256i c, __m256i d) {
    const __m256i ab = _mm256_add_epi32(_mm256_unpacklo_epi32(a, b), _mm256_unpackhi_epi32(a, b));
    const __m256i cd = _mm256_add_epi32(_mm256_unpacklo_epi32(c, d), _mm256_unpackhi_epi32(c, d));
    return Fold(_mm256_add_epi32(_mm256_unpacklo_epi64(ab, cd), _mm256_unpackhi_epi64(ab, cd)));
}

}  // namespace

namespace kernels {

KBN_AVX2 BlockCoding AnalyzeAvx2(const int16_t* block) {
    Rows rows;
    BuildRows(block, rows);
    const __m256i ones = _mm256_set1_epi16(1);
    __m256i magnitudes[kPredictorOrders][2];
    __m256i complements[kPredictorOrders], signs[kPredictorOrders];
    for (uint32_t order = 0; order < kPredictorOrders; ++order) {
        // v ^ sign is |v| for v >= 0 and |v| - 1 below: at most 32767, so
        // signed multiply-adds sum it exactly; the sign lanes (-1 or 0) count
        // the negatives.
        complements[order] = signs[order] = _mm256_setzero_si256();
        for (uint32_t j = 0; j < 2; ++j) {
            const __m256i v = rows.row[order][j];
            const __m256i sign = _mm256_srai_epi16(v, 15);
            const __m256i complement = _mm256_xor_si256(v, sign);
            magnitudes[order][j] = _mm256_sub_epi16(complement, sign);
            complements[order] = _mm256_add_epi32(complements[order], _mm256_madd_epi16(complement, ones));
            signs[order] = _mm256_add_epi16(signs[order], sign);
        }
    }
    // The four orders' sums and estimates side by side in the lanes of one
    // vector (the scalar forms are in parameter_search).
    const __m128i negatives = _mm_sub_epi32(
        _mm_setzero_si128(),
        HorizontalSums(_mm256_madd_epi16(signs[0], ones), _mm256_madd_epi16(signs[1], ones),
                       _mm256_madd_epi16(signs[2], ones), _mm256_madd_epi16(signs[3], ones)));
    const __m128i magnitudeSums = _mm_add_epi32(
        HorizontalSums(complements[0], complements[1], complements[2], complements[3]), negatives);
    const __m128i codeSums = _mm_add_epi32(_mm_add_epi32(magnitudeSums, magnitudeSums), negatives);
    // Every order's window of three parameters from one below its estimate,
    // which holds its first minimum. Shifted sums come from one base shift
    // b = max(start - 1, 1) per order: z_j = sum (m >> (b + j)) is T_(b+1+j).
    // From a start of 2 up the window is z_0 to z_2; below it, T_0 and T_1
    // come from the sums above and the window takes z_0 and z_1 after them.
    const __m128i one = _mm_set1_epi32(1);
    const __m128i starts = window_pick::WindowStarts(codeSums);
    alignas(16) uint32_t base[kPredictorOrders];
    _mm_store_si128(reinterpret_cast<__m128i*>(base), _mm_max_epi32(_mm_sub_epi32(starts, one), one));
    __m256i partial[kWindow][kPredictorOrders];
    for (uint32_t order = 0; order < kPredictorOrders; ++order) {
        // The two halves add without overflow: from b = 2 a shifted lane is
        // at most 8192, and b = 1 means an estimate of at most 3, so every
        // magnitude is below 256.
        const __m128i count = _mm_cvtsi32_si128(static_cast<int>(base[order]));
        const __m256i y0 = _mm256_srl_epi16(magnitudes[order][0], count);
        const __m256i y1 = _mm256_srl_epi16(magnitudes[order][1], count);
        partial[0][order] = _mm256_madd_epi16(_mm256_add_epi16(y0, y1), ones);
        partial[1][order] =
            _mm256_madd_epi16(_mm256_add_epi16(_mm256_srli_epi16(y0, 1), _mm256_srli_epi16(y1, 1)), ones);
        partial[2][order] =
            _mm256_madd_epi16(_mm256_add_epi16(_mm256_srli_epi16(y0, 2), _mm256_srli_epi16(y1, 2)), ones);
    }
    const __m128i z0 = HorizontalSums(partial[0][0], partial[0][1], partial[0][2], partial[0][3]);
    const __m128i z1 = HorizontalSums(partial[1][0], partial[1][1], partial[1][2], partial[1][3]);
    const __m128i z2 = HorizontalSums(partial[2][0], partial[2][1], partial[2][2], partial[2][3]);
    const __m128i fromZero = _mm_cmpeq_epi32(starts, _mm_setzero_si128());
    const __m128i fromOne = _mm_cmpeq_epi32(starts, one);
    const __m128i totals[kWindow] = {
        _mm_blendv_epi8(_mm_blendv_epi8(z0, magnitudeSums, fromOne), codeSums, fromZero),
        _mm_blendv_epi8(_mm_blendv_epi8(z1, z0, fromOne), magnitudeSums, fromZero),
        _mm_blendv_epi8(_mm_blendv_epi8(z2, z1, fromOne), z0, fromZero),
    };
    return window_pick::LeastCost(starts, totals);
}

KBN_AVX2 void WriteAvx2(const int16_t* block, uint32_t order, uint32_t k, CBitWriter& bits) {
    Rows rows;
    BuildRows(block, rows);
    const __m256i one32 = _mm256_set1_epi32(1);
    const __m128i kCount = _mm_cvtsi32_si128(static_cast<int>(k));
    const __m256i kVector = _mm256_set1_epi32(static_cast<int>(k));
    const __m256i lowMask = _mm256_set1_epi32(static_cast<int>((uint32_t{1} << k) - 1));
    const __m256i longQuotient = _mm256_set1_epi32(static_cast<int>(31 - k));
    const __m256i low32 = _mm256_set1_epi64x(0xFFFFFFFF);
    alignas(32) uint32_t codes[kSamplesPerBlock];
    alignas(32) uint64_t values[kSamplesPerBlock / 2];
    alignas(32) uint64_t widths[kSamplesPerBlock / 2];
    alignas(32) uint64_t quadValues[kSamplesPerBlock / 4];
    alignas(32) uint64_t quadWidths[kSamplesPerBlock / 4];
    __m256i anyLong = _mm256_setzero_si256();
    __m256i anyLongQuad = _mm256_setzero_si256();
    const __m256i longestPair = _mm256_set1_epi64x(56);
    for (uint32_t j = 0; j < 2; ++j) {
        const __m256i v = rows.row[order][j];
        for (uint32_t half = 0; half < 2; ++half) {
            // The code 2|v| + (v < 0) of eight residuals; x >> 31 is -1 for
            // a negative one.
            const __m256i x =
                _mm256_cvtepi16_epi32(half == 0 ? _mm256_castsi256_si128(v) : _mm256_extracti128_si256(v, 1));
            const __m256i code = _mm256_sub_epi32(_mm256_slli_epi32(_mm256_abs_epi32(x), 1), _mm256_srai_epi32(x, 31));
            const uint32_t at = 16 * j + 8 * half;
            _mm256_store_si256(reinterpret_cast<__m256i*>(codes + at), code);
            // Its Rice code as one value: the k low bits and the stop bit
            // after the quotient's zeros; width k + 1 + quotient.
            const __m256i quotient = _mm256_srl_epi32(code, kCount);
            anyLong = _mm256_or_si256(anyLong, _mm256_cmpgt_epi32(quotient, longQuotient));
            const __m256i value = _mm256_or_si256(_mm256_and_si256(code, lowMask),
                                                  _mm256_sllv_epi32(one32, _mm256_add_epi32(quotient, kVector)));
            const __m256i width = _mm256_add_epi32(_mm256_add_epi32(quotient, kVector), one32);
            // Pairs: the odd code above the even one, in 64-bit lanes.
            const __m256i evenWidth = _mm256_and_si256(width, low32);
            const __m256i pairValue =
                _mm256_or_si256(_mm256_and_si256(value, low32),
                                _mm256_sllv_epi64(_mm256_srli_epi64(value, 32), evenWidth));
            const __m256i pairWidth = _mm256_add_epi64(evenWidth, _mm256_srli_epi64(width, 32));
            anyLong = _mm256_or_si256(anyLong, _mm256_cmpgt_epi64(pairWidth, longestPair));
            _mm256_store_si256(reinterpret_cast<__m256i*>(values + at / 2), pairValue);
            _mm256_store_si256(reinterpret_cast<__m256i*>(widths + at / 2), pairWidth);
            // Quads, where four codes fit 56 bits together (small parameters):
            // half the serial steps again.
            const __m256i quadWidth = _mm256_add_epi64(pairWidth, _mm256_unpackhi_epi64(pairWidth, pairWidth));
            const __m256i quadValue =
                _mm256_or_si256(pairValue, _mm256_sllv_epi64(_mm256_unpackhi_epi64(pairValue, pairValue), pairWidth));
            anyLongQuad = _mm256_or_si256(anyLongQuad, _mm256_cmpgt_epi64(quadWidth, longestPair));
            // Lanes 0 and 2 hold the two quads of these eight codes.
            const __m256i packedValue = _mm256_permute4x64_epi64(quadValue, 0x08);
            const __m256i packedWidth = _mm256_permute4x64_epi64(quadWidth, 0x08);
            _mm_store_si128(reinterpret_cast<__m128i*>(quadValues + at / 4), _mm256_castsi256_si128(packedValue));
            _mm_store_si128(reinterpret_cast<__m128i*>(quadWidths + at / 4), _mm256_castsi256_si128(packedWidth));
        }
    }
    bits.WriteBits(BlockHeader(order, k), kBlockHeaderBits);
    if (_mm256_movemask_epi8(anyLong) != 0) {
        bits.WriteRiceCodes(codes, kSamplesPerBlock, k);  // a code longer than 32 bits, a pair over 56
    } else if (_mm256_movemask_epi8(anyLongQuad) == 0) {
        bits.AppendValues(quadValues, quadWidths, kSamplesPerBlock / 4);
    } else {
        bits.AppendValues(values, widths, kSamplesPerBlock / 2);
    }
}

}  // namespace kernels
}  // namespace kbn

#endif
