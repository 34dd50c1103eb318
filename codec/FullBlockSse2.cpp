// Full blocks of 32 samples with SSE2, which every x86-64 processor has:
// the rows come from overlapping loads of the samples, and the cost sums
// from pairwise multiply-adds.
#include "codec/FullBlock.h"

#ifdef KBN_HAVE_SSE2_KERNEL

#include <emmintrin.h>

#include "codec/ParameterSearch.h"

// SSE2 is every x86-64 processor's: no target attribute is needed.
#define KBN_KERNEL_TARGET
#define KBN_KERNEL_NAMESPACE sse2_kernel

namespace kbn::sse2_kernel {

// The vector type of the shared kernel code (VectorKernel.h).
struct Sse2 {
    using Vec16 = __m128i;
    using Vec32 = __m128i;
    static constexpr uint32_t kLanes = 8;

    static __m128i Load(const int16_t* at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at)); }
    static __m128i Sub16(__m128i a, __m128i b) { return _mm_sub_epi16(a, b); }
    static __m128i Add32(__m128i a, __m128i b) { return _mm_add_epi32(a, b); }
    static __m128i UnpackLow32(__m128i a, __m128i b) { return _mm_unpacklo_epi32(a, b); }
    static __m128i UnpackHigh32(__m128i a, __m128i b) { return _mm_unpackhi_epi32(a, b); }
    static __m128i UnpackLow64(__m128i a, __m128i b) { return _mm_unpacklo_epi64(a, b); }
    static __m128i UnpackHigh64(__m128i a, __m128i b) { return _mm_unpackhi_epi64(a, b); }
    static __m128i FoldTo128(__m128i v) { return v; }
};

}  // namespace kbn::sse2_kernel

#include "codec/VectorKernel.h"

namespace kbn {
namespace {

using parameter_search::kWindow;
using sse2_kernel::Sse2;

constexpr uint32_t kVectors = kSamplesPerBlock / Sse2::kLanes;
using Rows = sse2_kernel::Rows<Sse2>;
using Row = __m128i[kVectors];

// T_1 and T_0 of a row (see ParameterSearch.h).
struct RowSums {
    uint32_t magnitudes = 0;
    uint32_t codes = 0;
};

inline uint32_t HorizontalSum(__m128i v) {
    v = _mm_add_epi32(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(1, 0, 3, 2)));
    v = _mm_add_epi32(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(2, 3, 0, 1)));
    return static_cast<uint32_t>(_mm_cvtsi128_si32(v));
}

// Magnitudes |v| (32768 for -32768, as unsigned lanes) and their sums.
struct Magnitudes {
    __m128i m[kVectors];
    RowSums sums;
};

inline Magnitudes Measure(const Row& row) {
    const __m128i ones = _mm_set1_epi16(1);
    const __m128i negativeWeight = _mm_set1_epi16(256);
    Magnitudes result;
    // Signed multiply-adds see 32768 as negative, so the magnitudes are
    // summed as m >> 1 and m & 1; the odd count and the negative count share
    // one sum (at most 32 each), the negatives weighted by 256.
    __m128i halves = _mm_setzero_si128(), flags = _mm_setzero_si128();
    for (uint32_t j = 0; j < kVectors; ++j) {
        const __m128i sign = _mm_srai_epi16(row[j], 15);
        const __m128i m = _mm_sub_epi16(_mm_xor_si128(row[j], sign), sign);
        result.m[j] = m;
        halves = _mm_add_epi32(halves, _mm_madd_epi16(_mm_srli_epi16(m, 1), ones));
        const __m128i flag = _mm_or_si128(_mm_and_si128(m, ones), _mm_and_si128(sign, negativeWeight));
        flags = _mm_add_epi32(flags, _mm_madd_epi16(flag, ones));
    }
    const uint32_t half = HorizontalSum(halves);
    const uint32_t counts = HorizontalSum(flags);
    result.sums.magnitudes = 2 * half + (counts & 0xFF);
    result.sums.codes = 2 * result.sums.magnitudes + (counts >> 8);
    return result;
}

// T_k for the three parameters from `start`, in one pass over the lanes.
inline void WindowTotals(const Magnitudes& magnitudes, uint32_t start, uint32_t (&totals)[kWindow]) {
    const __m128i ones = _mm_set1_epi16(1);
    // Parameters 0 and 1 need no shifted sum; a shift of 1 stands in (every
    // lane shifted by one or more fits a signed lane).
    __m128i counts[kWindow];
    __m128i sums[kWindow];
    for (uint32_t i = 0; i < kWindow; ++i) {
        counts[i] = _mm_cvtsi32_si128(static_cast<int>(start + i >= 2 ? start + i - 1 : 1));
        sums[i] = _mm_setzero_si128();
    }
    for (uint32_t j = 0; j < kVectors; ++j) {
        for (uint32_t i = 0; i < kWindow; ++i) {
            sums[i] = _mm_add_epi32(sums[i], _mm_madd_epi16(_mm_srl_epi16(magnitudes.m[j], counts[i]), ones));
        }
    }
    alignas(16) uint32_t lanes[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes),
                    sse2_kernel::HorizontalSums<Sse2>(sums[0], sums[1], sums[2], _mm_setzero_si128()));
    for (uint32_t i = 0; i < kWindow; ++i) {
        const uint32_t k = start + i;
        totals[i] = k == 0 ? magnitudes.sums.codes : k == 1 ? magnitudes.sums.magnitudes : lanes[i];
    }
}

inline BlockCoding BestParameter(const Magnitudes& m) {
    const uint32_t start = parameter_search::WindowStart(m.sums.codes, kSamplesPerBlock);
    uint32_t totals[kWindow];
    WindowTotals(m, start, totals);
    return parameter_search::Pick(start, totals, kSamplesPerBlock);
}

}  // namespace

namespace kernels {

BlockCoding AnalyzeSse2(const int16_t* block) {
    Rows rows;
    sse2_kernel::DifferenceRows<Sse2>(block, rows);
    BlockCoding best{0, 0, UINT32_MAX};
    for (uint32_t order = 0; order < kPredictorOrders; ++order) {
        BlockCoding candidate = BestParameter(Measure(rows[order]));
        if (candidate.cost < best.cost) {
            candidate.order = order;
            best = candidate;
        }
    }
    return best;
}

void WriteSse2(const int16_t* block, uint32_t order, uint32_t k, CBitWriter& bits) {
    Rows rows;
    sse2_kernel::DifferenceRows<Sse2>(block, rows);
    const __m128i zero = _mm_setzero_si128();
    alignas(16) uint32_t codes[kSamplesPerBlock];
    for (uint32_t j = 0; j < kVectors; ++j) {
        // 2|v| + (v < 0), widened to 32 bits: (|v| << 1) | sign bit.
        const __m128i v = rows[order][j];
        const __m128i sign = _mm_srai_epi16(v, 15);
        const __m128i magnitude = _mm_sub_epi16(_mm_xor_si128(v, sign), sign);
        const __m128i negativeLow = _mm_srli_epi32(_mm_unpacklo_epi16(zero, sign), 31);
        const __m128i negativeHigh = _mm_srli_epi32(_mm_unpackhi_epi16(zero, sign), 31);
        const __m128i low = _mm_or_si128(_mm_slli_epi32(_mm_unpacklo_epi16(magnitude, zero), 1), negativeLow);
        const __m128i high = _mm_or_si128(_mm_slli_epi32(_mm_unpackhi_epi16(magnitude, zero), 1), negativeHigh);
        _mm_store_si128(reinterpret_cast<__m128i*>(codes + 8 * j), low);
        _mm_store_si128(reinterpret_cast<__m128i*>(codes + 8 * j + 4), high);
    }
    bits.WriteBits(BlockHeader(order, k), kBlockHeaderBits);
    bits.WriteRiceCodes(codes, kSamplesPerBlock, k);
}

}  // namespace kernels
}  // namespace kbn

#endif
