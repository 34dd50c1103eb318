#pragma once

#include <cstdint>
#include <vector>

#include "codec/BlockAnalysis.h"

namespace kbn::test {

// Bits that the codes of n residuals take with Rice parameter k.
uint32_t RiceCost(const int16_t* residuals, uint32_t n, uint32_t k);

// The literal search: every one of the 64 (order, parameter) pairs for n
// residuals per row, the first of least cost kept.
BlockCoding ExhaustiveCoding(const int16_t* const (&rows)[kPredictorOrders], uint32_t n);

// The encoded sample stream made the slow, literal way: a growable bit buffer
// written one bit run at a time and an exhaustive search of all 64 (order,
// parameter) pairs per block. The fast encoder must match it byte for byte.
std::vector<uint8_t> ReferenceEncode(const std::vector<int16_t>& samples);

}  // namespace kbn::test
