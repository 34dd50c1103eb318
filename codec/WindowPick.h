#pragma once

#include <immintrin.h>

#include <cstdint>

#include "codec/BlockAnalysis.h"
#include "codec/ParameterSearch.h"

// The last steps of the vector kernels' search, with the four orders side
// by side in the lanes of one vector (the scalar forms are in
// parameter_search). SSE4.1, so that the AVX2 and AVX-512 kernels, whose
// targets include it, inline them.
namespace kbn::window_pick {

#define KBN_SSE41 __attribute__((target("sse4.1"), always_inline))

// Each order's window start from the sum of its codes: one below
// floor(log2(mean)), which comes from the exponent of the mean as a float
// (exact below 2^24), 0 for a mean of 0; clamped to the parameters.
KBN_SSE41 inline __m128i WindowStarts(__m128i codeSums) {
    const __m128i mean = _mm_srli_epi32(codeSums, 5);
    const __m128i exponent = _mm_srli_epi32(_mm_castps_si128(_mm_cvtepi32_ps(mean)), 23);
    const __m128i estimate = _mm_max_epi32(_mm_sub_epi32(exponent, _mm_set1_epi32(127)), _mm_setzero_si128());
    return _mm_min_epi32(_mm_max_epi32(_mm_sub_epi32(estimate, _mm_set1_epi32(1)), _mm_setzero_si128()),
                         _mm_set1_epi32(kRiceParameters - parameter_search::kWindow));
}

// The cheapest coding, given each order's totals T_k for k = start,
// start + 1 and start + 2.
KBN_SSE41 inline BlockCoding LeastCost(__m128i starts, const __m128i (&totals)[parameter_search::kWindow]) {
    const __m128i one = _mm_set1_epi32(1);
    const __m128i orderBits = _mm_set_epi32(3 << 4, 2 << 4, 1 << 4, 0);
    __m128i key = _mm_set1_epi32(-1);
    for (uint32_t i = 0; i < parameter_search::kWindow; ++i) {
        const __m128i k = _mm_add_epi32(starts, _mm_set1_epi32(static_cast<int>(i)));
        const __m128i cost = _mm_add_epi32(_mm_slli_epi32(_mm_add_epi32(k, one), 5), totals[i]);
        // cost, order, parameter in one number: the least is the first
        // minimum, ties going to the smaller order, then the smaller k.
        key = _mm_min_epu32(key, _mm_or_si128(_mm_or_si128(_mm_slli_epi32(cost, 6), orderBits), k));
    }
    key = _mm_min_epu32(key, _mm_shuffle_epi32(key, _MM_SHUFFLE(1, 0, 3, 2)));
    key = _mm_min_epu32(key, _mm_shuffle_epi32(key, _MM_SHUFFLE(2, 3, 0, 1)));
    const auto least = static_cast<uint32_t>(_mm_cvtsi128_si32(key));
    return BlockCoding{least >> 4 & 3, least & 0x0F, least >> 6};
}

#undef KBN_SSE41

}  // namespace kbn::window_pick
