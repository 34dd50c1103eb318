#include "codec/BlockAnalysis.h"

#include <bit>
#include <cstring>

namespace kbn {
namespace {

constexpr uint32_t N = kSamplesPerBlock;

// |v| as an unsigned 16-bit value (32768 for -32768).
inline uint16_t Magnitude(int16_t v) {
    const auto bits = static_cast<uint16_t>(v);
    const auto sign = static_cast<uint16_t>(v < 0 ? 0xFFFF : 0);
    return static_cast<uint16_t>((bits ^ sign) - sign);
}

// The magnitudes of a row and their sums: with codes u = 2|v| + s, the sum
// of (u >> k) is 2 sum|v| + sum s for k = 0 and sum (|v| >> (k - 1)) above.
struct RowMagnitudes {
    alignas(64) uint16_t magnitude[N];
    uint32_t sum = 0;
    uint32_t negatives = 0;
};

void Measure(const int16_t* row, RowMagnitudes& m) {
    uint32_t sum = 0, negatives = 0;
    for (uint32_t i = 0; i < N; ++i) {
        m.magnitude[i] = Magnitude(row[i]);
        sum += m.magnitude[i];
        negatives += static_cast<uint16_t>(row[i]) >> 15;
    }
    m.sum = sum;
    m.negatives = negatives;
}

// Sum of (|v| >> shift) over the row; the padding lanes are zero.
inline uint32_t ShiftedSum(const uint16_t* magnitude, uint32_t shift) {
    uint32_t sum = 0;
    for (uint32_t i = 0; i < N; ++i) sum += static_cast<uint32_t>(magnitude[i] >> shift);
    return sum;
}

inline uint32_t Cost(const RowMagnitudes& m, uint32_t n, uint32_t k) {
    if (k == 0) return n + 2 * m.sum + m.negatives;
    if (k == 1) return 2 * n + m.sum;
    return n * (k + 1) + ShiftedSum(m.magnitude, k - 1);
}

// The smallest k that minimises the cost of one row. The cost is convex in
// k (each step up saves a non-increasing number of bits), so walking from
// an estimate towards the cheaper neighbour finds the first minimum exactly.
BlockCoding BestParameter(const RowMagnitudes& m, uint32_t n) {
    const uint64_t codeSum = 2 * uint64_t{m.sum} + m.negatives;
    const uint64_t mean = n != 0 ? codeSum / n : 0;
    uint32_t k = mean != 0 ? static_cast<uint32_t>(std::bit_width(mean)) - 1 : 0;
    if (k > kRiceParameters - 1) k = kRiceParameters - 1;

    uint32_t cost = Cost(m, n, k);
    bool movedDown = false;
    while (k > 0) {
        const uint32_t lower = Cost(m, n, k - 1);
        if (lower > cost) break;
        --k;
        cost = lower;
        movedDown = true;
    }
    if (!movedDown) {
        while (k < kRiceParameters - 1) {
            const uint32_t higher = Cost(m, n, k + 1);
            if (higher >= cost) break;
            ++k;
            cost = higher;
        }
    }
    return BlockCoding{0, k, cost};
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

uint32_t RiceCost(const int16_t* residuals, uint32_t n, uint32_t k) {
    uint32_t cost = n * (k + 1);
    for (uint32_t i = 0; i < n; ++i) cost += ResidualCode(residuals[i]) >> k;
    return cost;
}

BlockCoding ChooseBlockCoding(const ResidualRows& rows, uint32_t n) {
    BlockCoding best{0, 0, UINT32_MAX};
    RowMagnitudes magnitudes;
    for (uint32_t order = 0; order < kPredictorOrders; ++order) {
        Measure(rows.Row(order), magnitudes);
        BlockCoding candidate = BestParameter(magnitudes, n);
        if (candidate.cost < best.cost) {
            candidate.order = order;
            best = candidate;
        }
    }
    return best;
}

}  // namespace kbn
