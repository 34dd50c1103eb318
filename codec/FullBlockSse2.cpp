// Full blocks of 32 samples with SSE2, which every x86-64 processor has:
// the rows come from overlapping loads of the samples, and the cost sums
// from pairwise multiply-adds.
#include "codec/FullBlock.h"

#ifdef KBN_HAVE_SSE2_KERNEL

#include <emmintrin.h>

#include "codec/ParameterSearch.h"

namespace kbn {
namespace {

using parameter_search::kWindow;

// T_1 and T_0 of a row (see ParameterSearch.h).
struct RowSums {
    uint32_t magnitudes = 0;
    uint32_t codes = 0;
};

constexpr uint32_t kVectors = kSamplesPerBlock / 8;

struct Row {
    __m128i v[kVectors];
};

struct Rows {
    Row row[kPredictorOrders];
};

inline __m128i Load(const int16_t* at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at)); }

// The rows straight from the samples and the three before them: in 16-bit
// wrapping arithmetic the p-th difference is x - x[-1] for p = 1,
// x - 2 x[-1] + x[-2] for p = 2 and x - 3 x[-1] + 3 x[-2] - x[-3] for p = 3,
// the same values that differencing the rows one after another gives.
inline Rows BuildRows(const int16_t* block) {
    Rows rows;
    for (uint32_t j = 0; j < kVectors; ++j) {
        const int16_t* at = block + 8 * j;
        const __m128i x0 = Load(at), x1 = Load(at - 1), x2 = Load(at - 2), x3 = Load(at - 3);
        const __m128i d1 = _mm_sub_epi16(x0, x1);
        const __m128i d1Before = _mm_sub_epi16(x1, x2);
        const __m128i d2 = _mm_sub_epi16(d1, d1Before);
        const __m128i d2Before = _mm_sub_epi16(d1Before, _mm_sub_epi16(x2, x3));
        rows.row[0].v[j] = x0;
        rows.row[1].v[j] = d1;
        rows.row[2].v[j] = d2;
        rows.row[3].v[j] = _mm_sub_epi16(d2, d2Before);
    }
    return rows;
}

inline uint32_t HorizontalSum(__m128i v) {
    v = _mm_add_epi32(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(1, 0, 3, 2)));
    v = _mm_add_epi32(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(2, 3, 0, 1)));
    return static_cast<uint32_t>(_mm_cvtsi128_si32(v));
}

// The sums of four vectors' lanes, as the four lanes of one vector.
inline __m128i HorizontalSums(__m128i a, __m128i b, __m128i c, __m128i d) {
    const __m128i ab = _mm_add_epi32(_mm_unpacklo_epi32(a, b), _mm_unpackhi_epi32(a, b));
    const __m128i cd = _mm_add_epi32(_mm_unpacklo_epi32(c, d), _mm_unpackhi_epi32(c, d));
    return _mm_add_epi32(_mm_unpacklo_epi64(ab, cd), _mm_unpackhi_epi64(ab, cd));
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
        const __m128i sign = _mm_srai_epi16(row.v[j], 15);
        const __m128i m = _mm_sub_epi16(_mm_xor_si128(row.v[j], sign), sign);
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
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes), HorizontalSums(sums[0], sums[1], sums[2], _mm_setzero_si128()));
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
    const Rows rows = BuildRows(block);
    BlockCoding best{0, 0, UINT32_MAX};
    for (uint32_t order = 0; order < kPredictorOrders; ++order) {
        BlockCoding candidate = BestParameter(Measure(rows.row[order]));
        if (candidate.cost < best.cost) {
            candidate.order = order;
            best = candidate;
        }
    }
    return best;
}

void WriteSse2(const int16_t* block, uint32_t order, uint32_t k, CBitWriter& bits) {
    const Rows rows = BuildRows(block);
    const __m128i zero = _mm_setzero_si128();
    alignas(16) uint32_t codes[kSamplesPerBlock];
    for (uint32_t j = 0; j < kVectors; ++j) {
        // 2|v| + (v < 0), widened to 32 bits: (|v| << 1) | sign bit.
        const __m128i v = rows.row[order].v[j];
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
