#pragma once

#include <bit>
#include <cstdint>

#include "codec/BlockAnalysis.h"

// The choice of the Rice parameter for a full block's row, shared by the
// vector implementations. With codes u = 2|v| + s, the cost of parameter k is
// 32 (k + 1) + T_k, where T_k = sum (u >> k): T_0 is the sum of the codes,
// T_1 the sum of the magnitudes |v|, and T_k = sum (|v| >> (k - 1)) above.
//
// With e = floor(log2(mean code)), the first minimum over all 16 parameters
// is always e - 1, e or e + 1, so three costs settle it. The cost is convex
// in k: cost(k) - cost(k + 1) = sum ceil((u >> k) / 2) - 32 never grows with
// k. Since the codes sum to at least 32 * 2^e, the sum of u >> (e - 2) is
// above 96, so cost(e - 2) - cost(e - 1) >= 48 - 32 > 0: the cost falls
// strictly up to e - 1. Since they sum to less than 32 * 2^(e + 1), the sum
// of u >> (e + 1) is below 32 and bounds the sum of the ceilings, so
// cost(e + 2) > cost(e + 1): the cost rises strictly from e + 1.
namespace kbn::parameter_search {

inline constexpr uint32_t N = kSamplesPerBlock;
inline constexpr uint32_t kWindow = 3;

struct RowSums {
    uint32_t magnitudes = 0;  // T_1
    uint32_t codes = 0;       // T_0
};

// floor(log2(mean code)), 0 for a mean of 0.
inline uint32_t Estimate(const RowSums& sums) {
    const uint32_t mean = sums.codes / N;
    return mean != 0 ? static_cast<uint32_t>(std::bit_width(mean)) - 1 : 0;
}

// The first parameter of the window: one below the estimate, inside 0-13.
// Clamped at either end, the window still holds whichever of e - 1 to
// e + 1 are parameters at all.
inline uint32_t WindowStart(const RowSums& sums) {
    const uint32_t k0 = Estimate(sums);
    const uint32_t start = k0 >= 1 ? k0 - 1 : 0;
    return start > kRiceParameters - kWindow ? kRiceParameters - kWindow : start;
}

// A lower bound of the row's cost over every k: u >> k >= (u + 1) / 2^k - 1
// gives cost(k) >= 32 k + (T_0 + 32) / 2^k, a convex function whose integer
// minimum lies within one of the estimate.
inline uint32_t LowerBound(const RowSums& sums) {
    const uint32_t a = sums.codes + N;
    const uint32_t k0 = Estimate(sums);
    uint32_t bound = UINT32_MAX;
    for (uint32_t k = k0 > 0 ? k0 - 1 : 0; k <= k0 + 1 && k < kRiceParameters; ++k) {
        const uint32_t value = N * k + (a >> k);
        if (value < bound) bound = value;
    }
    return bound;
}

// The smallest k of least cost, given T_start .. T_start+2 in `window`.
inline BlockCoding Pick(uint32_t start, const uint32_t (&window)[kWindow]) {
    uint32_t best = 0;
    uint32_t bestCost = N * (start + 1) + window[0];
    for (uint32_t i = 1; i < kWindow; ++i) {
        const uint32_t cost = N * (start + i + 1) + window[i];
        if (cost < bestCost) {
            bestCost = cost;
            best = i;
        }
    }
    return BlockCoding{0, start + best, bestCost};
}

}  // namespace kbn::parameter_search
