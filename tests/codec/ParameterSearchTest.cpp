#include "codec/ParameterSearch.h"

#include <gtest/gtest.h>

#include <vector>

#include "codec/FullBlock.h"

namespace kbn {
namespace {

constexpr uint32_t N = kSamplesPerBlock;

// Rows of codes shaped to put the first minimum at the edges of the window
// around the estimate: flat rows at and just below powers of two, a single
// spike among zeros, two levels far apart, and the extremes of the range.
std::vector<std::vector<int16_t>> ShapedRows() {
    std::vector<std::vector<int16_t>> rows;
    const auto add = [&](auto valueAt) {
        std::vector<int16_t> row(N);
        for (uint32_t i = 0; i < N; ++i) row[i] = static_cast<int16_t>(valueAt(i));
        rows.push_back(row);
    };
    for (int32_t e = 0; e <= 15; ++e) {
        const int32_t power = 1 << e;
        for (int32_t magnitude : {power - 1, power, power + 1, power + power / 2, 2 * power - 1}) {
            if (magnitude > 32767) continue;
            add([&](uint32_t) { return magnitude; });
            add([&](uint32_t) { return -magnitude; });
            add([&](uint32_t i) { return i % 2 ? magnitude : -magnitude; });
            add([&](uint32_t i) { return i == 0 ? magnitude : 0; });
            add([&](uint32_t i) { return i < 16 ? magnitude : 0; });
            add([&](uint32_t i) { return i < 31 ? magnitude : 32767; });
            add([&](uint32_t i) { return i < 4 ? -32768 : magnitude / 64; });
        }
    }
    add([](uint32_t) { return -32768; });
    add([](uint32_t i) { return i % 2 ? 32767 : -32768; });
    return rows;
}

uint32_t Cost(const std::vector<int16_t>& row, uint32_t k) {
    uint32_t cost = N * (k + 1);
    for (int16_t v : row) cost += ResidualCode(v) >> k;
    return cost;
}

TEST(ParameterSearch, TheFirstMinimumLiesInTheWindowAroundTheEstimate) {
    for (const std::vector<int16_t>& row : ShapedRows()) {
        uint32_t bestK = 0;
        for (uint32_t k = 1; k < kRiceParameters; ++k) {
            if (Cost(row, k) < Cost(row, bestK)) bestK = k;
        }
        parameter_search::RowSums sums;
        for (int16_t v : row) sums.codes += ResidualCode(v);
        sums.magnitudes = Cost(row, 1) - 2 * N;
        const uint32_t start = parameter_search::WindowStart(sums);
        uint32_t window[parameter_search::kWindow];
        for (uint32_t i = 0; i < parameter_search::kWindow; ++i) window[i] = Cost(row, start + i) - N * (start + i + 1);
        const BlockCoding picked = parameter_search::Pick(start, window);
        ASSERT_EQ(picked.riceParameter, bestK) << "first value " << row[0] << ", last " << row[N - 1];
        ASSERT_EQ(picked.cost, Cost(row, bestK));
    }
}

// The same rows as whole blocks of samples (order 0 is the samples), through
// every kernel this processor can run, against the exhaustive search.
TEST(ParameterSearch, KernelsFindTheExhaustiveMinimumOnShapedBlocks) {
    for (const FullBlockKernel& kernel : AvailableFullBlockKernels()) {
        for (const std::vector<int16_t>& row : ShapedRows()) {
            int16_t samples[kBlockLookBehind + N] = {};
            std::copy(row.begin(), row.end(), samples + kBlockLookBehind);
            PredictorHistory history;
            ResidualRows rows;
            ComputeResidualRows(samples + kBlockLookBehind, N, history, rows);
            const BlockCoding expected = ChooseBlockCoding(rows, N);
            const BlockCoding coding = kernel.analyze(samples + kBlockLookBehind);
            ASSERT_EQ(coding.cost, expected.cost) << kernel.name << ", first value " << row[0];
            ASSERT_EQ(coding.order, expected.order) << kernel.name;
            ASSERT_EQ(coding.riceParameter, expected.riceParameter) << kernel.name;
        }
    }
}

}  // namespace
}  // namespace kbn
