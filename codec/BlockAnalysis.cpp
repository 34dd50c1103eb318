#include "codec/BlockAnalysis.h"

#include <bit>

namespace kbn {
namespace {

// The smallest k that minimises RiceCost for one row. The cost is convex in
// k (each step up saves a non-increasing number of bits), so walking from an
// estimate towards the cheaper neighbour finds the first minimum exactly.
BlockCoding BestParameterForRow(const uint32_t* codes, uint32_t n) {
    uint64_t sum = 0;
    for (uint32_t i = 0; i < n; ++i) sum += codes[i];
    const uint64_t mean = n != 0 ? sum / n : 0;
    uint32_t k = mean != 0 ? static_cast<uint32_t>(std::bit_width(mean)) - 1 : 0;
    if (k > kRiceParameters - 1) k = kRiceParameters - 1;

    uint32_t cost = RiceCost(codes, n, k);
    bool movedDown = false;
    while (k > 0) {
        const uint32_t lower = RiceCost(codes, n, k - 1);
        if (lower > cost) break;
        --k;
        cost = lower;
        movedDown = true;
    }
    if (!movedDown) {
        while (k < kRiceParameters - 1) {
            const uint32_t higher = RiceCost(codes, n, k + 1);
            if (higher >= cost) break;
            ++k;
            cost = higher;
        }
    }
    return BlockCoding{0, k, cost};
}

}  // namespace

void ComputeResidualRows(const int16_t* samples, uint32_t n, PredictorHistory& history,
                         ResidualRows& rows) {
    if (n == 0) return;
    int16_t previous[3] = {history.h1, history.h2, history.h3};
    for (uint32_t i = 0; i < n; ++i) {
        const int16_t d0 = samples[i];
        const auto d1 = static_cast<int16_t>(d0 - previous[0]);
        const auto d2 = static_cast<int16_t>(d1 - previous[1]);
        const auto d3 = static_cast<int16_t>(d2 - previous[2]);
        previous[0] = d0;
        previous[1] = d1;
        previous[2] = d2;
        rows.codes[0][i] = ResidualCode(d0);
        rows.codes[1][i] = ResidualCode(d1);
        rows.codes[2][i] = ResidualCode(d2);
        rows.codes[3][i] = ResidualCode(d3);
    }
    history = PredictorHistory{previous[0], previous[1], previous[2]};
}

uint32_t RiceCost(const uint32_t* codes, uint32_t n, uint32_t k) {
    uint32_t cost = n * (k + 1);
    for (uint32_t i = 0; i < n; ++i) cost += codes[i] >> k;
    return cost;
}

BlockCoding ChooseBlockCoding(const ResidualRows& rows, uint32_t n) {
    BlockCoding best{0, 0, UINT32_MAX};
    for (uint32_t order = 0; order < kPredictorOrders; ++order) {
        BlockCoding candidate = BestParameterForRow(rows.codes[order].data(), n);
        if (candidate.cost < best.cost) {
            candidate.order = order;
            best = candidate;
        }
    }
    return best;
}

}  // namespace kbn
