#pragma once

#include <bit>
#include <cstdint>

#include "codec/BlockAnalysis.h"

// The choice of a block's Rice parameter: one search, for the readable
// reference (ChooseBlockCoding) and every vector kernel alike.
//
// For n residual codes u, parameter k costs n (k + 1) + T_k bits, where
// T_k = sum (u >> k). Let e = floor(log2(mean code)), 0 for a mean of 0.
// The first (smallest) k of least cost is e - 1, e or e + 1, of those that
// are parameters at all, so the costs of three parameters settle it:
// - The cost is convex in k: cost(k) - cost(k + 1) = sum ceil((u >> k) / 2)
//   - n, which never grows with k.
// - The codes sum to at least n 2^e. Since u >> s >= (u + 1) / 2^s - 1,
//   T_(e - 2) > 3n, so cost(e - 2) - cost(e - 1) >= T_(e - 2) / 2 - n > 0:
//   the cost falls strictly up to e - 1.
// - They sum to less than n 2^(e + 1), so T_(e + 1) < n, and it bounds the
//   sum of the ceilings: cost(e + 2) > cost(e + 1), and the cost rises
//   strictly from e + 1.
// The window is those three parameters from one below the estimate,
// clamped to 0-13: at the ends it still holds whichever of e - 1 to e + 1
// are parameters. Across the four orders, ties go to the smaller order.
namespace kbn::parameter_search {

inline constexpr uint32_t kWindow = 3;

// floor(log2(mean code)) of n codes that sum to `codeSum`; 0 for a mean of 0.
inline uint32_t Estimate(uint32_t codeSum, uint32_t n) {
    const uint32_t mean = n != 0 ? codeSum / n : 0;
    return mean != 0 ? static_cast<uint32_t>(std::bit_width(mean)) - 1 : 0;
}

// The first parameter of the window.
inline uint32_t WindowStart(uint32_t codeSum, uint32_t n) {
    const uint32_t estimate = Estimate(codeSum, n);
    const uint32_t start = estimate >= 1 ? estimate - 1 : 0;
    return start > kRiceParameters - kWindow ? kRiceParameters - kWindow : start;
}

// The smallest k of least cost for n codes, given T_k for the window's
// three parameters from `start`.
inline BlockCoding Pick(uint32_t start, const uint32_t (&totals)[kWindow], uint32_t n) {
    BlockCoding best{0, start, n * (start + 1) + totals[0]};
    for (uint32_t i = 1; i < kWindow; ++i) {
        const uint32_t cost = n * (start + i + 1) + totals[i];
        if (cost < best.cost) best = BlockCoding{0, start + i, cost};
    }
    return best;
}

}  // namespace kbn::parameter_search
