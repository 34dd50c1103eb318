#pragma once

#include <cstdint>
#include <span>

#include "stream/Error.h"

namespace kbn {

namespace block_decoding {
struct Block;
}

// One block of n codes from bit `position`, read bit by bit and bounded by
// `bitCount`, with a message (CError) for every defect; `position`
// moves past it. The careful path that the decoder takes where the fast
// path declines, and the reference the fast decoders are tested against.
void DecodeBlockCarefully(std::span<const uint8_t> packed, uint64_t bitCount, uint64_t& position, uint32_t n,
                          block_decoding::Block& block);

// Decodes `frames` samples from the packed bits of one encoded sample stream
// (the floor(bitCount / 8) + 1 bytes after the bit count) into `out`, which
// holds `frames` values. The blocks must use exactly `bitCount` bits and the
// padding bits after them must be zero.
void DecodeSample(std::span<const uint8_t> packed, uint64_t bitCount, std::span<int16_t> out);

// Decodes frames `first` to `first` + out.size() of a sample of `frames`
// frames into `out`: the blocks before the range too (each block is
// predicted from the samples before it), not those after it, whose bits
// are then not checked. Its memory does not grow with the sample.
void DecodeSampleRange(std::span<const uint8_t> packed, uint64_t bitCount, uint64_t frames, uint64_t first,
                       std::span<int16_t> out);

}  // namespace kbn
