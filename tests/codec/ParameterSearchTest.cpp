#include "codec/ParameterSearch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "tests/codec/ReferenceEncoder.h"

namespace kbn {
namespace {

constexpr uint32_t N = kSamplesPerBlock;

// Rows shaped to put the first minimum at the edges of the window around
// the estimate: flat rows at and just below powers of two, a single spike
// among zeros, two levels far apart, and the extremes of the range; all
// four orders the same row.
std::vector<ResidualRows> ShapedRows() {
    std::vector<ResidualRows> all;
    const auto add = [&](auto valueAt) {
        ResidualRows rows{};
        for (auto& lane : rows.lanes) {
            for (uint32_t i = 0; i < N; ++i) lane[i + 1] = static_cast<int16_t>(valueAt(i));
        }
        all.push_back(rows);
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
    return all;
}

// Random residuals of every scale, each order its own.
ResidualRows RandomRows(std::mt19937& random, uint32_t n) {
    ResidualRows rows{};
    for (auto& lane : rows.lanes) {
        const int32_t scale = 1 << (random() % 17);
        for (uint32_t i = 0; i < n; ++i) {
            const int32_t v = static_cast<int32_t>(random() % static_cast<uint32_t>(2 * scale + 1)) - scale;
            lane[i + 1] = static_cast<int16_t>(std::clamp(v, -32768, 32767));
        }
    }
    return rows;
}

// The search in its window (the readable reference every kernel follows)
// finds what trying all 64 pairs finds: on full blocks shaped for the
// window's edges, and on random blocks of every length from 1 to 32.
TEST(ParameterSearch, TheWindowFindsTheExhaustiveMinimum) {
    std::vector<std::pair<ResidualRows, uint32_t>> cases;
    for (const ResidualRows& rows : ShapedRows()) cases.emplace_back(rows, N);
    std::mt19937 random(42);
    for (int trial = 0; trial < 20000; ++trial) {
        const uint32_t n = 1 + random() % N;
        cases.emplace_back(RandomRows(random, n), n);
    }
    for (const auto& [rows, n] : cases) {
        const int16_t* const lanes[kPredictorOrders] = {rows.Row(0), rows.Row(1), rows.Row(2), rows.Row(3)};
        const BlockCoding expected = test::ExhaustiveCoding(lanes, n);
        const BlockCoding coding = ChooseBlockCoding(rows, n);
        ASSERT_EQ(coding.cost, expected.cost) << "n " << n << ", first value " << rows.Row(0)[0];
        ASSERT_EQ(coding.order, expected.order) << "n " << n;
        ASSERT_EQ(coding.riceParameter, expected.riceParameter) << "n " << n;
    }
}

}  // namespace
}  // namespace kbn
