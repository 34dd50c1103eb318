#pragma once

#include <cstdint>
#include <vector>

namespace kbn::test {

// The encoded sample stream made the slow, literal way: a growable bit buffer
// written one bit run at a time and an exhaustive search of all 64 (order,
// parameter) pairs per block. The fast encoder must match it byte for byte.
std::vector<uint8_t> ReferenceEncode(const std::vector<int16_t>& samples);

}  // namespace kbn::test
