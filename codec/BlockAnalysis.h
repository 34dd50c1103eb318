#pragma once

#include <array>
#include <cstdint>

namespace kbn {

inline constexpr uint32_t kSamplesPerBlock = 32;
inline constexpr uint32_t kPredictorOrders = 4;
inline constexpr uint32_t kRiceParameters = 16;

// Every block starts with 6 header bits: the predictor order in the low 2,
// the Rice parameter in the 4 above them.
inline constexpr uint32_t kBlockHeaderBits = 6;
inline constexpr uint32_t BlockHeader(uint32_t order, uint32_t k) { return order | k << 2; }
inline constexpr uint32_t OrderOf(uint32_t header) { return header & 3; }
inline constexpr uint32_t ParameterOf(uint32_t header) { return header >> 2; }

// The last input of the order-0, order-1 and order-2 rows of the previous
// block of the same sample: what the next block's differences start from.
struct PredictorHistory {
    int16_t h1 = 0;
    int16_t h2 = 0;
    int16_t h3 = 0;
};

// The residuals of one block under each predictor order: row p is the p-th
// difference of the samples, wrapped to 16 bits. Each row is stored after
// the history value it was differenced from (lanes[p][0]), so that the next
// row is lanes[p][i + 1] - lanes[p][i]. Lanes past a short block are zero.
struct ResidualRows {
    alignas(64) int16_t lanes[kPredictorOrders][kSamplesPerBlock + 1];

    const int16_t* Row(uint32_t order) const { return &lanes[order][1]; }
};

struct BlockCoding {
    uint32_t order = 0;
    uint32_t riceParameter = 0;
    uint32_t cost = 0;  // bits of the residuals, without the 6 header bits
};

// The code of a residual v: 2v for v >= 0, 2|v| + 1 for v < 0.
inline uint32_t ResidualCode(int16_t residual) {
    const int32_t v = residual;
    const uint32_t negative = static_cast<uint32_t>(v < 0);
    const uint32_t magnitude = static_cast<uint32_t>(v < 0 ? -v : v);
    return (magnitude << 1) | negative;
}

// Computes the four rows for n (0 to 32) samples and moves the history on;
// with n = 0 the rows are all zero and the history stays.
void ComputeResidualRows(const int16_t* samples, uint32_t n, PredictorHistory& history, ResidualRows& rows);

// The cheapest (order, parameter) pair for a block of n residuals: ties go
// to the smaller order, then to the smaller parameter. The readable form of
// the search (see ParameterSearch.h) that every full-block kernel follows.
BlockCoding ChooseBlockCoding(const ResidualRows& rows, uint32_t n);

}  // namespace kbn
