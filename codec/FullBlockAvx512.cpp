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

#define KBN_KERNEL_TARGET __attribute__((target("avx512f,avx512bw,avx2,bmi2,popcnt")))
#define KBN_KERNEL_NAMESPACE avx512_kernel

namespace kbn::avx512_kernel {

// The vector type of the shared kernel code (VectorKernel.h): a row is one
// vector.
struct Avx512 {
    using Vec16 = __m512i;
    using Vec32 = __m512i;
    using Flags = uint32_t;  // comparison masks ORed
    static constexpr uint32_t kLanes = 32;
    static constexpr uint32_t kCodes = 16;
    static constexpr uint32_t kQuadSlack = 4;  // StoreEven64 stores eight lanes

    KBN_KERNEL_TARGET static __m512i Load(const int16_t* at) { return _mm512_loadu_si512(at); }
    KBN_KERNEL_TARGET static __m512i Sub16(__m512i a, __m512i b) { return _mm512_sub_epi16(a, b); }
    KBN_KERNEL_TARGET static __m512i Add32(__m512i a, __m512i b) { return _mm512_add_epi32(a, b); }
    KBN_KERNEL_TARGET static __m512i UnpackLow32(__m512i a, __m512i b) { return _mm512_unpacklo_epi32(a, b); }
    KBN_KERNEL_TARGET static __m512i UnpackHigh32(__m512i a, __m512i b) { return _mm512_unpackhi_epi32(a, b); }
    KBN_KERNEL_TARGET static __m512i UnpackLow64(__m512i a, __m512i b) { return _mm512_unpacklo_epi64(a, b); }
    KBN_KERNEL_TARGET static __m512i UnpackHigh64(__m512i a, __m512i b) { return _mm512_unpackhi_epi64(a, b); }
    KBN_KERNEL_TARGET static __m128i FoldTo128(__m512i v) {
        const __m256i half = _mm256_add_epi32(_mm512_castsi512_si256(v), _mm512_extracti64x4_epi64(v, 1));
        return _mm_add_epi32(_mm256_castsi256_si128(half), _mm256_extracti128_si256(half, 1));
    }
    // The sixteen residuals from `at` (0 or 16) of a row, widened.
    KBN_KERNEL_TARGET static __m512i Widen(const __m512i (&row)[1], uint32_t at) {
        return _mm512_cvtepi16_epi32(at == 0 ? _mm512_castsi512_si256(row[0]) : _mm512_extracti64x4_epi64(row[0], 1));
    }
    KBN_KERNEL_TARGET static __m512i Set32(uint32_t v) { return _mm512_set1_epi32(static_cast<int>(v)); }
    KBN_KERNEL_TARGET static __m512i Set64(uint64_t v) { return _mm512_set1_epi64(static_cast<long long>(v)); }
    KBN_KERNEL_TARGET static __m512i Abs32(__m512i v) { return _mm512_abs_epi32(v); }
    KBN_KERNEL_TARGET static __m512i Slli32(__m512i v, int n) { return _mm512_slli_epi32(v, static_cast<unsigned>(n)); }
    KBN_KERNEL_TARGET static __m512i Srai32(__m512i v, int n) { return _mm512_srai_epi32(v, static_cast<unsigned>(n)); }
    KBN_KERNEL_TARGET static __m512i Srl32(__m512i v, uint32_t n) {
        return _mm512_srl_epi32(v, _mm_cvtsi32_si128(static_cast<int>(n)));
    }
    KBN_KERNEL_TARGET static __m512i Sub32(__m512i a, __m512i b) { return _mm512_sub_epi32(a, b); }
    KBN_KERNEL_TARGET static __m512i And(__m512i a, __m512i b) { return _mm512_and_si512(a, b); }
    KBN_KERNEL_TARGET static __m512i Or(__m512i a, __m512i b) { return _mm512_or_si512(a, b); }
    KBN_KERNEL_TARGET static __m512i Sllv32(__m512i v, __m512i n) { return _mm512_sllv_epi32(v, n); }
    KBN_KERNEL_TARGET static __m512i Add64(__m512i a, __m512i b) { return _mm512_add_epi64(a, b); }
    KBN_KERNEL_TARGET static __m512i Srli64(__m512i v, int n) { return _mm512_srli_epi64(v, static_cast<unsigned>(n)); }
    KBN_KERNEL_TARGET static __m512i Sllv64(__m512i v, __m512i n) { return _mm512_sllv_epi64(v, n); }
    KBN_KERNEL_TARGET static void Store(void* to, __m512i v) { _mm512_store_si512(to, v); }
    // Lanes 0, 2, 4 and 6, the four quads of sixteen codes, then four more.
    KBN_KERNEL_TARGET static void StoreEven64(uint64_t* to, __m512i v) {
        _mm512_storeu_si512(to, _mm512_permutexvar_epi64(_mm512_set_epi64(0, 0, 0, 0, 6, 4, 2, 0), v));
    }
    KBN_KERNEL_TARGET static uint32_t NoFlags() { return 0; }
    KBN_KERNEL_TARGET static uint32_t FlagGreater32(uint32_t flags, __m512i a, __m512i b) {
        return flags | _mm512_cmpgt_epi32_mask(a, b);
    }
    KBN_KERNEL_TARGET static uint32_t FlagGreater64(uint32_t flags, __m512i a, __m512i b) {
        return flags | _mm512_cmpgt_epi64_mask(a, b);
    }
    KBN_KERNEL_TARGET static uint32_t FlagGreaterEven64(uint32_t flags, __m512i a, __m512i b) {
        return flags | (_mm512_cmpgt_epi64_mask(a, b) & 0x55u);
    }
    KBN_KERNEL_TARGET static bool Any(uint32_t flags) { return flags != 0; }
};

// Byte sums of two pairs of orders' shifted codes, packed as bytes (orders
// 0 and 1 in `low`, 2 and 3 in `high`): each sum of eight bytes lands in
// the quadword of its order, the sums of orders 2 and 3 above bit 32 of
// those of 0 and 1. Returns the four orders' totals.
KBN_KERNEL_TARGET inline __m128i ByteSums(__m512i low, __m512i high) {
    const __m512i zero = _mm512_setzero_si512();
    const __m512i sums =
        _mm512_add_epi64(_mm512_sad_epu8(low, zero), _mm512_slli_epi64(_mm512_sad_epu8(high, zero), 32));
    const __m256i half = _mm256_add_epi64(_mm512_castsi512_si256(sums), _mm512_extracti64x4_epi64(sums, 1));
    const __m128i quarter = _mm_add_epi64(_mm256_castsi256_si128(half), _mm256_extracti128_si256(half, 1));
    // Quadword 0 holds orders 0 and 2, quadword 1 orders 1 and 3.
    return _mm_shuffle_epi32(quarter, _MM_SHUFFLE(3, 1, 2, 0));
}

}  // namespace kbn::avx512_kernel

#include "codec/VectorKernel.h"

namespace kbn::kernels {

using avx512_kernel::Avx512;
using avx512_kernel::ByteSums;
using parameter_search::kWindow;

KBN_KERNEL_TARGET BlockCoding AnalyzeAvx512(const int16_t* block) {
    avx512_kernel::Rows<Avx512> rows;
    avx512_kernel::DifferenceRows<Avx512>(block, rows);

    // The magnitudes |v| (32768 too as an unsigned lane) and their sums:
    // m - 32768 fits a signed lane, so signed multiply-adds sum them
    // exactly, 32768 too little per value. The codes sum to 2 sum |v| plus
    // the number of negatives.
    const __m512i ones = _mm512_set1_epi16(1);
    const __m512i bias = _mm512_set1_epi16(static_cast<int16_t>(0x8000));
    __m512i magnitudes[kPredictorOrders];
    __m512i biasedSums[kPredictorOrders];
    uint32_t negatives[kPredictorOrders];
    for (uint32_t order = 0; order < kPredictorOrders; ++order) {
        const __m512i v = rows[order][0];
        magnitudes[order] = _mm512_abs_epi16(v);
        biasedSums[order] = _mm512_madd_epi16(_mm512_xor_si512(magnitudes[order], bias), ones);
        negatives[order] = static_cast<uint32_t>(__builtin_popcount(_mm512_movepi16_mask(v)));
    }
    const __m128i magnitudeSums =
        _mm_add_epi32(avx512_kernel::HorizontalSums<Avx512>(biasedSums[0], biasedSums[1], biasedSums[2], biasedSums[3]),
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
            shifted[order] = _mm512_sub_epi16(_mm512_add_epi16(m, m), _mm512_srai_epi16(rows[order][0], 15));
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

KBN_KERNEL_TARGET void WriteAvx512(const int16_t* block, uint32_t order, uint32_t k, CBitWriter& bits) {
    avx512_kernel::Rows<Avx512> rows;
    avx512_kernel::DifferenceRows<Avx512>(block, rows);
    bits.WriteBits(BlockHeader(order, k), kBlockHeaderBits);
    avx512_kernel::WriteRiceCodes<Avx512>(rows[order], k, bits);
}

}  // namespace kbn::kernels

#endif
