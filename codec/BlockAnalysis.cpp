#include "codec/BlockAnalysis.h"

#include <cstring>

#include "codec/ParameterSearch.h"

namespace kbn {
namespace {

constexpr uint32_t N = kSamplesPerBlock;

// One row's best parameter: the window's totals, summed over its codes.
BlockCoding BestParameter(const int16_t* row, uint32_t n) {
    uint32_t codes[N];
    uint32_t codeSum = 0;
    for (uint32_t i = 0; i < n; ++i) {
        codes[i] = ResidualCode(row[i]);
        codeSum += codes[i];
    }
    const uint32_t start = parameter_search::WindowStart(codeSum, n);
    uint32_t totals[parameter_search::kWindow] = {};
    for (uint32_t i = 0; i < n; ++i) {
        for (uint32_t w = 0; w < parameter_search::kWindow; ++w) totals[w] += codes[i] >> (start + w);
    }
    return parameter_search::Pick(start, totals, n);
}

// Row p + 1 from row p: lanes[p + 1][i + 1] = lanes[p][i + 1] - lanes[p][i],
// in 16-bit wrapping arithmetic.
inline void Difference(const int16_t* from, int16_t* to) {
    for (uint32_t i = 0; i < N; ++i) to[i + 1] = static_cast<int16_t>(from[i + 1] - from[i]);
}

}  // namespace

void ComputeResidualRows(const int16_t* samples, uint32_t n, PredictorHistory& history, ResidualRows& rows) {
    if (n == 0) {
        std::memset(rows.lanes, 0, sizeof rows.lanes);
        return;
    }
    rows.lanes[0][0] = history.h1;
    rows.lanes[1][0] = history.h2;
    rows.lanes[2][0] = history.h3;
    rows.lanes[3][0] = 0;
    if (n == N) {
        std::memcpy(&rows.lanes[0][1], samples, N * sizeof(int16_t));
        Difference(rows.lanes[0], rows.lanes[1]);
        Difference(rows.lanes[1], rows.lanes[2]);
        Difference(rows.lanes[2], rows.lanes[3]);
    } else {
        // A short final block: the same differences, then zero padding.
        std::memcpy(&rows.lanes[0][1], samples, n * sizeof(int16_t));
        for (uint32_t p = 0; p + 1 < kPredictorOrders; ++p) {
            for (uint32_t i = 0; i < n; ++i) {
                rows.lanes[p + 1][i + 1] = static_cast<int16_t>(rows.lanes[p][i + 1] - rows.lanes[p][i]);
            }
        }
        for (uint32_t p = 0; p < kPredictorOrders; ++p) {
            std::memset(&rows.lanes[p][n + 1], 0, (N - n) * sizeof(int16_t));
        }
    }
    history = PredictorHistory{rows.lanes[0][n], rows.lanes[1][n], rows.lanes[2][n]};
}

BlockCoding ChooseBlockCoding(const ResidualRows& rows, uint32_t n) {
    BlockCoding best{0, 0, UINT32_MAX};
    for (uint32_t order = 0; order < kPredictorOrders; ++order) {
        BlockCoding candidate = BestParameter(rows.Row(order), n);
        if (candidate.cost < best.cost) {
            candidate.order = order;
            best = candidate;
        }
    }
    return best;
}

}  // namespace kbn
