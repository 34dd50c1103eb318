#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>

namespace kbn {

// The packed bits of an encoded sample stream are not what the encoder
// writes: the text says what and at which bit.
class CDecodeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Decodes `frames` samples from the packed bits of one encoded sample stream
// (the floor(bitCount / 8) + 1 bytes after the bit count) into `out`, which
// holds `frames` values. The blocks must use exactly `bitCount` bits and the
// padding bits after them must be zero.
void DecodeSample(std::span<const uint8_t> packed, uint64_t bitCount, std::span<int16_t> out);

}  // namespace kbn
