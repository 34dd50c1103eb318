#pragma once

#include <cstdint>
#include <span>

#include "stream/MemoryLimit.h"
#include "stream/ScratchBuffer.h"

namespace kbn {

// Decodes one compressed SoundFont sample, a mono Ogg Vorbis stream, into
// 16-bit PCM exactly as libvorbisfile's own 16-bit output gives it, in
// `pcm`'s memory. Throws CError, its text starting "its Ogg Vorbis
// stream" (the caller names the sample), when the stream is not mono, does
// not decode, decodes to nothing or to more than `largestBuffer` bytes.
std::span<const int16_t> DecodeOggVorbis(std::span<const uint8_t> stream, CScratchBuffer<int16_t>& pcm,
                                         uint64_t largestBuffer = kLargestBuffer);

}  // namespace kbn
