#pragma once

#include <bit>
#include <cstdint>

#include "codec/BlockAnalysis.h"

// The choice of the Rice parameter for a full block's row, shared by the
// vector implementations. With codes u = 2|v| + s, the cost of parameter k is
// 32 (k + 1) + T_k, where T_k = sum (u >> k): T_0 is the sum of the codes,
// T_1 the sum of the magnitudes |v|, and T_k = sum (|v| >> (k - 1)) above.
// The cost is convex in k, so the first minimum of a window of four
// neighbouring parameters around an estimate is the overall one unless it
// lies on the window's edge, and then a walk outwards settles it.
namespace kbn::parameter_search {

inline constexpr uint32_t N = kSamplesPerBlock;
inline constexpr uint32_t kWindow = 4;

struct RowSums {
    uint32_t magnitudes = 0;  // T_1
    uint32_t codes = 0;       // T_0
};

// floor(log2(mean code)), the usual best parameter or one above it.
inline uint32_t Estimate(const RowSums& sums) {
    const uint32_t mean = sums.codes / N;
    return mean != 0 ? static_cast<uint32_t>(std::bit_width(mean)) - 1 : 0;
}

// The first parameter of the window: two below the estimate, inside 0-12.
inline uint32_t WindowStart(const RowSums& sums) {
    const uint32_t k0 = Estimate(sums);
    const uint32_t start = k0 >= 2 ? k0 - 2 : 0;
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

// T_k from the sums and a shifted sum of the magnitudes: shiftedSum(s) is
// sum (|v| >> s) for s >= 1.
template <typename ShiftedSum>
inline uint32_t Total(const RowSums& sums, uint32_t k, ShiftedSum&& shiftedSum) {
    if (k == 0) return sums.codes;
    if (k == 1) return sums.magnitudes;
    return shiftedSum(k - 1);
}

// The smallest k of least cost, given T_start .. T_start+3 in `window`.
template <typename ShiftedSum>
inline BlockCoding Pick(const RowSums& sums, uint32_t start, const uint32_t (&window)[kWindow],
                        ShiftedSum&& shiftedSum) {
    uint32_t best = 0;
    uint32_t bestCost = N * (start + 1) + window[0];
    for (uint32_t i = 1; i < kWindow; ++i) {
        const uint32_t cost = N * (start + i + 1) + window[i];
        if (cost < bestCost) {
            bestCost = cost;
            best = i;
        }
    }
    uint32_t k = start + best;
    if (best == 0) {
        while (k > 0) {
            const uint32_t lower = N * k + Total(sums, k - 1, shiftedSum);
            if (lower > bestCost) break;
            --k;
            bestCost = lower;
        }
    } else if (best == kWindow - 1) {
        while (k < kRiceParameters - 1) {
            const uint32_t higher = N * (k + 2) + Total(sums, k + 1, shiftedSum);
            if (higher >= bestCost) break;
            ++k;
            bestCost = higher;
        }
    }
    return BlockCoding{0, k, bestCost};
}

}  // namespace kbn::parameter_search
