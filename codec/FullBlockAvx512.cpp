// Full blocks of 32 samples with AVX-512 (BW), for the processors that have
// it: a row is one vector. With codes u = 2|v| + (v < 0), the total of
// parameter k is the sum of u >> k. Shifted by the window's first
// parameter, every code is below 128 (the codes sum to less than 2^(e + 6)
// for an estimate e, and the window starts at e - 1, or at 13 where every
// code shifted by 13 is below 8), so the window's three totals are byte
// sums. Every
// function here carries the target attribute, so that nothing compiled for
// AVX-512 can be called on a processor without it.
#include "codec/FullBlock.h"

#ifdef KBN_HAVE_AVX512_KERNEL

// GCC 12's AVX-512 headers start some intrinsics from a deliberately
// undefined vector, which its own -Wuninitialized then reports.
#pragma GCC diagnostic ignored "-Wuninitialized"
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include <immintrin.h>

#include "codec/ParameterSearch.h"
#include "codec/WindowPick.h"

#define KBN_AVX512 __attribute__((target("avx512f,avx512bw,avx2,bmi2,popcnt")))

namespace kbn {
namespace {

using parameter_search::kWindow;

KBN_AVX512 inline __m512i Load(const int16_t* at) { return _mm512_loadu_si512(at); }

// The sum of the eight 32-bit lanes of each vector, as the four lanes of one.
KBN_AVX512 inline __m128i HorizontalSums(__m256i a, __m256i b, __m256i c, __m256i d) {
    const __m256i ab = _mm256_add_epi32(_mm256_unpacklo_epi32(a, b), _mm256_unpackhi_epi32(a, b));
    const __m256i cd = _mm256_add_epi32(_mm256_unpacklo_epi32(c, d), _mm256_unpackhi_epi32(c, d));
    const __m256i abcd = _mm256_add_epi32(_mm256_unpacklo_epi64(ab, cd), _mm256_unpackhi_epi64(ab, cd));
    return _mm_add_epi32(_mm256_castsi256_si128(abcd), _mm256_extracti128_si256(abcd, 1));
}

KBN_AVX512 inline __m256i Fold(__m512i v) {
    return _mm256_add_epi32(_mm512_castsi512_si256(v), _mm512_extracti64x4_epi64(v, 1));
}

// Byte sums of two pairs of orders' shifted codes, packed as bytes (orders
// 0 and 1 in `low`, 2 and 3 in `high`): each sum of eight bytes lands in
// the quadword of its order, the sums of orders 2 and 3 above bit 32 of
// those of 0 and 1. Returns the four orders' totals.
KBN_AVX512 inline __m128i ByteSums(__m512i low, __m512i high) {
    const __m512i zero = _mm512_setzero_si512();
    const __m512i sums = _mm512_add_epi64(_mm512_sad_epu8(low, zero), _mm512_slli_epi64(_mm512_sad_epu8(high, zero), 32));
    const __m256i half = _mm256_add_epi64(_mm512_castsi512_si256(sums), _mm512_extracti64x4_epi64(sums, 1));
    const __m128i quarter = _mm_add_epi64(_mm256_castsi256_si128(half), _mm256_extracti128_si256(half, 1));
    // Quadword 0 holds orders 0 and 2, quadword 1 orders 1 and 3.
    return _mm_shuffle_epi32(quarter, _MM_SHUFFLE(3, 1, 2, 0));
}

}  // namespace

namespace kernels {

KBN_AVX512 BlockCoding AnalyzeAvx512(const int16_t* block) {
    // The p-th differences straight from overlapping loads of the samples.
    const __m512i x0 = Load(block), x1 = Load(block - 1), x2 = Load(block - 2), x3 = Load(block - 3);
    const __m512i d1 = _mm512_sub_epi16(x0, x1);
    const __m512i d1Before = _mm512_sub_epi16(x1, x2);
    const __m512i d2 = _mm512_sub_epi16(d1, d1Before);
    const __m512i d2Before = _mm512_sub_epi16(d1Before, _mm512_sub_epi16(x2, x3));
    const __m512i rows[kPredictorOrders] = {x0, d1, d2, _mm512_sub_epi16(d2, d2Before)};

    // The magnitudes |v| (32768 too as an unsigned lane) and their sums:
    // m - 32768 fits a signed lane, so signed multiply-adds sum them
    // exactly, 32768 too little per value. The codes sum to 2 sum |v| plus
    // the number of negatives.
    const __m512i ones = _mm512_set1_epi16(1);
    const __m512i bias = _mm512_set1_epi16(static_cast<int16_t>(0x8000));
    __m512i magnitudes[kPredictorOrders];
    __m256i biasedSums[kPredictorOrders];
    uint32_t negatives[kPredictorOrders];
    for (uint32_t order = 0; order < kPredictorOrders; ++order) {
        const __m512i v = rows[order];
        magnitudes[order] = _mm512_abs_epi16(v);
        biasedSums[order] = Fold(_mm512_madd_epi16(_mm512_xor_si512(magnitudes[order], bias), ones));
        negatives[order] = static_cast<uint32_t>(__builtin_popcount(_mm512_movepi16_mask(v)));
    }
    const __m128i magnitudeSums =
        _mm_add_epi32(HorizontalSums(biasedSums[0], biasedSums[1], biasedSums[2], biasedSums[3]),
                      _mm_set1_epi32(static_cast<int>(kSamplesPerBlock * 32768)));
    const __m128i negativeCounts = _mm_loadu_si128(reinterpret_cast<const __m128i*>(negatives));
    const __m128i codeSums = _mm_add_epi32(_mm_add_epi32(magnitudeSums, magnitudeSums), negativeCounts);
    // The window: from one below floor(log2(mean)).
    const __m128i starts = window_pick::WindowStarts(codeSums);

    // The codes shifted by their order's first parameter s, below 128: from
    // s = 1 up, u >> s is |v| >> (s - 1); at s = 0 every code is below 128
    // and is 2 |v| + (v < 0) itself. As bytes, orders 0 and 1 in one vector,
    // 2 and 3 in another.
    alignas(16) uint32_t start[kPredictorOrders];
    _mm_store_si128(reinterpret_cast<__m128i*>(start), starts);
    __m512i shifted[kPredictorOrders];
    for (uint32_t order = 0; order < kPredictorOrders; ++order) {
        if (start[order] == 0) {
            const __m512i m = magnitudes[order];
            shifted[order] = _mm512_sub_epi16(_mm512_add_epi16(m, m), _mm512_srai_epi16(rows[order], 15));
        } else {
            shifted[order] = _mm512_srl_epi16(magnitudes[order], _mm_cvtsi32_si128(static_cast<int>(start[order] - 1)));
        }
    }
    __m512i low = _mm512_packus_epi16(shifted[0], shifted[1]);
    __m512i high = _mm512_packus_epi16(shifted[2], shifted[3]);
    __m128i totals[kWindow];
    totals[0] = ByteSums(low, high);
    for (uint32_t i = 1; i < kWindow; ++i) {
        const __m512i keep = _mm512_set1_epi8(0x7F);
        low = _mm512_and_si512(_mm512_srli_epi16(low, 1), keep);
        high = _mm512_and_si512(_mm512_srli_epi16(high, 1), keep);
        totals[i] = ByteSums(low, high);
    }

    return window_pick::LeastCost(starts, totals);
}

KBN_AVX512 void WriteAvx512(const int16_t* block, uint32_t order, uint32_t k, CBitWriter& bits) {
    const __m512i x0 = Load(block), x1 = Load(block - 1), x2 = Load(block - 2), x3 = Load(block - 3);
    __m512i row = x0;
    if (order >= 1) {
        const __m512i d1 = _mm512_sub_epi16(x0, x1);
        const __m512i d1Before = _mm512_sub_epi16(x1, x2);
        row = d1;
        if (order >= 2) {
            const __m512i d2 = _mm512_sub_epi16(d1, d1Before);
            row = order == 2 ? d2 : _mm512_sub_epi16(d2, _mm512_sub_epi16(d1Before, _mm512_sub_epi16(x2, x3)));
        }
    }
    const __m512i one32 = _mm512_set1_epi32(1);
    const __m128i kCount = _mm_cvtsi32_si128(static_cast<int>(k));
    const __m512i kVector = _mm512_set1_epi32(static_cast<int>(k));
    const __m512i lowMask = _mm512_set1_epi32(static_cast<int>((uint32_t{1} << k) - 1));
    const __m512i longQuotient = _mm512_set1_epi32(static_cast<int>(31 - k));
    const __m512i low32 = _mm512_set1_epi64(0xFFFFFFFF);
    const __m512i longestPair = _mm512_set1_epi64(56);
    // Lanes 0, 2, 4 and 6: the quads of sixteen codes.
    const __m512i evenQuads = _mm512_set_epi64(0, 0, 0, 0, 6, 4, 2, 0);
    alignas(64) uint32_t codes[kSamplesPerBlock];
    alignas(64) uint64_t values[kSamplesPerBlock / 2];
    alignas(64) uint64_t widths[kSamplesPerBlock / 2];
    alignas(64) uint64_t quadValues[kSamplesPerBlock / 4 + 4];
    alignas(64) uint64_t quadWidths[kSamplesPerBlock / 4 + 4];
    __mmask16 anyLong = 0;
    __mmask8 anyLongPair = 0;
    __mmask8 anyLongQuad = 0;
    for (uint32_t half = 0; half < 2; ++half) {
        // The code 2|v| + (v < 0) of sixteen residuals; x >> 31 is -1 for
        // a negative one.
        const __m512i x = _mm512_cvtepi16_epi32(half == 0 ? _mm512_castsi512_si256(row) : _mm512_extracti64x4_epi64(row, 1));
        const __m512i code = _mm512_sub_epi32(_mm512_slli_epi32(_mm512_abs_epi32(x), 1), _mm512_srai_epi32(x, 31));
        const uint32_t at = 16 * half;
        _mm512_store_si512(codes + at, code);
        // Its Rice code as one value: the k low bits and the stop bit after
        // the quotient's zeros; width k + 1 + quotient.
        const __m512i quotient = _mm512_srl_epi32(code, kCount);
        anyLong |= _mm512_cmpgt_epi32_mask(quotient, longQuotient);
        const __m512i value = _mm512_or_si512(_mm512_and_si512(code, lowMask),
                                              _mm512_sllv_epi32(one32, _mm512_add_epi32(quotient, kVector)));
        const __m512i width = _mm512_add_epi32(_mm512_add_epi32(quotient, kVector), one32);
        // Pairs: the odd code above the even one, in 64-bit lanes.
        const __m512i evenWidth = _mm512_and_si512(width, low32);
        const __m512i pairValue = _mm512_or_si512(_mm512_and_si512(value, low32),
                                                  _mm512_sllv_epi64(_mm512_srli_epi64(value, 32), evenWidth));
        const __m512i pairWidth = _mm512_add_epi64(evenWidth, _mm512_srli_epi64(width, 32));
        anyLongPair |= _mm512_cmpgt_epi64_mask(pairWidth, longestPair);
        _mm512_store_si512(values + at / 2, pairValue);
        _mm512_store_si512(widths + at / 2, pairWidth);
        // Quads, where four codes fit 56 bits together (small parameters):
        // half the serial steps again.
        const __m512i quadWidth = _mm512_add_epi64(pairWidth, _mm512_unpackhi_epi64(pairWidth, pairWidth));
        const __m512i quadValue =
            _mm512_or_si512(pairValue, _mm512_sllv_epi64(_mm512_unpackhi_epi64(pairValue, pairValue), pairWidth));
        anyLongQuad |= _mm512_cmpgt_epi64_mask(quadWidth, longestPair);
        _mm512_storeu_si512(quadValues + at / 4, _mm512_permutexvar_epi64(evenQuads, quadValue));
        _mm512_storeu_si512(quadWidths + at / 4, _mm512_permutexvar_epi64(evenQuads, quadWidth));
    }
    bits.WriteBits(BlockHeader(order, k), kBlockHeaderBits);
    if (anyLong != 0 || anyLongPair != 0) {
        bits.WriteRiceCodes(codes, kSamplesPerBlock, k);  // a code longer than 32 bits, a pair over 56
    } else if ((anyLongQuad & 0x55) == 0) {
        bits.AppendValues(quadValues, quadWidths, kSamplesPerBlock / 4);
    } else {
        bits.AppendValues(values, widths, kSamplesPerBlock / 2);
    }
}

}  // namespace kernels
}  // namespace kbn

#endif
