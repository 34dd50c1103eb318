// Full blocks of 32 samples with AVX2 (and BMI2), for the processors that
// have them: a row is two vectors; the cost sums of all four orders are
// reduced together; and the codes become (value, width) pairs in vector
// lanes, so that only the appending to the bit stream stays serial.
#include "codec/FullBlock.h"

#ifdef KBN_HAVE_AVX2_KERNEL

#include <immintrin.h>

#include "codec/ParameterSearch.h"
#include "codec/WindowPick.h"

#define KBN_KERNEL_TARGET __attribute__((target("avx2,bmi2")))
#define KBN_KERNEL_NAMESPACE avx2_kernel

namespace kbn::avx2_kernel {

// The vector type of the shared kernel code (VectorKernel.h).
struct Avx2 {
    using Vec16 = __m256i;
    using Vec32 = __m256i;
    using Flags = __m256i;  // comparisons ORed, tested once
    static constexpr uint32_t kLanes = 16;
    static constexpr uint32_t kCodes = 8;
    static constexpr uint32_t kQuadSlack = 0;

    KBN_KERNEL_TARGET static __m256i Load(const int16_t* at) {
        return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
    }
    KBN_KERNEL_TARGET static __m256i Sub16(__m256i a, __m256i b) { return _mm256_sub_epi16(a, b); }
    KBN_KERNEL_TARGET static __m256i Add32(__m256i a, __m256i b) { return _mm256_add_epi32(a, b); }
    KBN_KERNEL_TARGET static __m256i UnpackLow32(__m256i a, __m256i b) { return _mm256_unpacklo_epi32(a, b); }
    KBN_KERNEL_TARGET static __m256i UnpackHigh32(__m256i a, __m256i b) { return _mm256_unpackhi_epi32(a, b); }
    KBN_KERNEL_TARGET static __m256i UnpackLow64(__m256i a, __m256i b) { return _mm256_unpacklo_epi64(a, b); }
    KBN_KERNEL_TARGET static __m256i UnpackHigh64(__m256i a, __m256i b) { return _mm256_unpackhi_epi64(a, b); }
    KBN_KERNEL_TARGET static __m128i FoldTo128(__m256i v) {
        return _mm_add_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
    }
    // The eight residuals from `at` (0, 8, 16 or 24) of a row, widened.
    KBN_KERNEL_TARGET static __m256i Widen(const __m256i (&row)[2], uint32_t at) {
        const __m256i v = row[at / 16];
        return _mm256_cvtepi16_epi32(at % 16 == 0 ? _mm256_castsi256_si128(v) : _mm256_extracti128_si256(v, 1));
    }
    KBN_KERNEL_TARGET static __m256i Set32(uint32_t v) { return _mm256_set1_epi32(static_cast<int>(v)); }
    KBN_KERNEL_TARGET static __m256i Set64(uint64_t v) { return _mm256_set1_epi64x(static_cast<long long>(v)); }
    KBN_KERNEL_TARGET static __m256i Abs32(__m256i v) { return _mm256_abs_epi32(v); }
    KBN_KERNEL_TARGET static __m256i Slli32(__m256i v, int n) { return _mm256_slli_epi32(v, n); }
    KBN_KERNEL_TARGET static __m256i Srai32(__m256i v, int n) { return _mm256_srai_epi32(v, n); }
    KBN_KERNEL_TARGET static __m256i Srl32(__m256i v, uint32_t n) {
        return _mm256_srl_epi32(v, _mm_cvtsi32_si128(static_cast<int>(n)));
    }
    KBN_KERNEL_TARGET static __m256i Sub32(__m256i a, __m256i b) { return _mm256_sub_epi32(a, b); }
    KBN_KERNEL_TARGET static __m256i And(__m256i a, __m256i b) { return _mm256_and_si256(a, b); }
    KBN_KERNEL_TARGET static __m256i Or(__m256i a, __m256i b) { return _mm256_or_si256(a, b); }
    KBN_KERNEL_TARGET static __m256i Sllv32(__m256i v, __m256i n) { return _mm256_sllv_epi32(v, n); }
    KBN_KERNEL_TARGET static __m256i Add64(__m256i a, __m256i b) { return _mm256_add_epi64(a, b); }
    KBN_KERNEL_TARGET static __m256i Srli64(__m256i v, int n) { return _mm256_srli_epi64(v, n); }
    KBN_KERNEL_TARGET static __m256i Sllv64(__m256i v, __m256i n) { return _mm256_sllv_epi64(v, n); }
    KBN_KERNEL_TARGET static void Store(void* to, __m256i v) { _mm256_store_si256(static_cast<__m256i*>(to), v); }
    // Lanes 0 and 2, the two quads of eight codes.
    KBN_KERNEL_TARGET static void StoreEven64(uint64_t* to, __m256i v) {
        _mm_store_si128(reinterpret_cast<__m128i*>(to), _mm256_castsi256_si128(_mm256_permute4x64_epi64(v, 0x08)));
    }
    KBN_KERNEL_TARGET static __m256i NoFlags() { return _mm256_setzero_si256(); }
    KBN_KERNEL_TARGET static __m256i FlagGreater32(__m256i flags, __m256i a, __m256i b) {
        return _mm256_or_si256(flags, _mm256_cmpgt_epi32(a, b));
    }
    KBN_KERNEL_TARGET static __m256i FlagGreater64(__m256i flags, __m256i a, __m256i b) {
        return _mm256_or_si256(flags, _mm256_cmpgt_epi64(a, b));
    }
    KBN_KERNEL_TARGET static __m256i FlagGreaterEven64(__m256i flags, __m256i a, __m256i b) {
        const __m256i even = _mm256_setr_epi64x(-1, 0, -1, 0);
        return _mm256_or_si256(flags, _mm256_and_si256(_mm256_cmpgt_epi64(a, b), even));
    }
    KBN_KERNEL_TARGET static bool Any(__m256i flags) { return _mm256_movemask_epi8(flags) != 0; }
};

}  // namespace kbn::avx2_kernel

#include "codec/VectorKernel.h"

namespace kbn::kernels {

using avx2_kernel::Avx2;
using parameter_search::kWindow;

KBN_KERNEL_TARGET BlockCoding AnalyzeAvx2(const int16_t* block) {
    avx2_kernel::Rows<Avx2> rows;
    avx2_kernel::DifferenceRows<Avx2>(block, rows);
    const __m256i ones = _mm256_set1_epi16(1);
    __m256i magnitudes[kPredictorOrders][2];
    __m256i complements[kPredictorOrders], signs[kPredictorOrders];
    for (uint32_t order = 0; order < kPredictorOrders; ++order) {
        // v ^ sign is |v| for v >= 0 and |v| - 1 below: at most 32767, so
        // signed multiply-adds sum it exactly; the sign lanes (-1 or 0) count
        // the negatives.
        complements[order] = signs[order] = _mm256_setzero_si256();
        for (uint32_t j = 0; j < 2; ++j) {
            const __m256i v = rows[order][j];
            const __m256i sign = _mm256_srai_epi16(v, 15);
            const __m256i complement = _mm256_xor_si256(v, sign);
            magnitudes[order][j] = _mm256_sub_epi16(complement, sign);
            complements[order] = _mm256_add_epi32(complements[order], _mm256_madd_epi16(complement, ones));
            signs[order] = _mm256_add_epi16(signs[order], sign);
        }
    }
    // The four orders' sums and estimates side by side in the lanes of one
    // vector.
    using avx2_kernel::HorizontalSums;
    const __m128i negatives = _mm_sub_epi32(
        _mm_setzero_si128(),
        HorizontalSums<Avx2>(_mm256_madd_epi16(signs[0], ones), _mm256_madd_epi16(signs[1], ones),
                             _mm256_madd_epi16(signs[2], ones), _mm256_madd_epi16(signs[3], ones)));
    const __m128i magnitudeSums = _mm_add_epi32(
        HorizontalSums<Avx2>(complements[0], complements[1], complements[2], complements[3]), negatives);
    const __m128i codeSums = _mm_add_epi32(_mm_add_epi32(magnitudeSums, magnitudeSums), negatives);
    // Every order's window of three parameters from one below its estimate.
    // Shifted sums come from one base shift b = max(start - 1, 1) per order:
    // z_j = sum (m >> (b + j)) is T_(b+1+j). From a start of 2 up the window
    // is z_0 to z_2; below it, T_0 and T_1 come from the sums above and the
    // window takes z_0 and z_1 after them.
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
    const __m128i z0 = HorizontalSums<Avx2>(partial[0][0], partial[0][1], partial[0][2], partial[0][3]);
    const __m128i z1 = HorizontalSums<Avx2>(partial[1][0], partial[1][1], partial[1][2], partial[1][3]);
    const __m128i z2 = HorizontalSums<Avx2>(partial[2][0], partial[2][1], partial[2][2], partial[2][3]);
    const __m128i fromZero = _mm_cmpeq_epi32(starts, _mm_setzero_si128());
    const __m128i fromOne = _mm_cmpeq_epi32(starts, one);
    const __m128i totals[kWindow] = {
        _mm_blendv_epi8(_mm_blendv_epi8(z0, magnitudeSums, fromOne), codeSums, fromZero),
        _mm_blendv_epi8(_mm_blendv_epi8(z1, z0, fromOne), magnitudeSums, fromZero),
        _mm_blendv_epi8(_mm_blendv_epi8(z2, z1, fromOne), z0, fromZero),
    };
    return window_pick::LeastCost(starts, totals);
}

KBN_KERNEL_TARGET void WriteAvx2(const int16_t* block, uint32_t order, uint32_t k, CBitWriter& bits) {
    avx2_kernel::Rows<Avx2> rows;
    avx2_kernel::DifferenceRows<Avx2>(block, rows);
    bits.WriteBits(BlockHeader(order, k), kBlockHeaderBits);
    avx2_kernel::WriteRiceCodes<Avx2>(rows[order], k, bits);
}

}  // namespace kbn::kernels

#endif
