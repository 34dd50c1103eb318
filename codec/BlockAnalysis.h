#pragma once

#include <array>
#include <cstdint>

namespace kbn {

inline constexpr uint32_t kSamplesPerBlock = 32;
inline constexpr uint32_t kPredictorOrders = 4;
inline constexpr uint32_t kRiceParameters = 16;

// The last input of the order-0, order-1 and order-2 rows of the previous
// block of the same sample: what the next block's differences start from.
struct PredictorHistory {
    int16_t h1 = 0;
    int16_t h2 = 0;
    int16_t h3 = 0;
};

// Residual codes of one block under each predictor order: row p holds the
// p-th difference of the samples, each mapped to 2v (v >= 0) or 2|v| + 1.
struct ResidualRows {
    std::array<std::array<uint32_t, kSamplesPerBlock>, kPredictorOrders> codes;
};

struct BlockCoding {
    uint32_t order = 0;
    uint32_t riceParameter = 0;
    uint32_t cost = 0;  // bits of the residuals, without the 6 header bits
};

inline uint32_t ResidualCode(int16_t residual) {
    const int32_t v = residual;
    const uint32_t negative = static_cast<uint32_t>(v < 0);
    const uint32_t magnitude = static_cast<uint32_t>(v < 0 ? -v : v);
    return (magnitude << 1) | negative;
}

// Computes the four rows of codes for n (0 to 32) samples and moves the
// history on; with n = 0 nothing changes.
void ComputeResidualRows(const int16_t* samples, uint32_t n, PredictorHistory& history,
                         ResidualRows& rows);

// Bits that n codes take with Rice parameter k.
uint32_t RiceCost(const uint32_t* codes, uint32_t n, uint32_t k);

// The cheapest (order, parameter) pair: ties go to the smaller order, then
// to the smaller parameter.
BlockCoding ChooseBlockCoding(const ResidualRows& rows, uint32_t n);

}  // namespace kbn
