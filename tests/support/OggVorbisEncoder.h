#pragma once

#include <cstdint>
#include <vector>

namespace kbn::test {

// An Ogg Vorbis stream of `pcm` (interleaved when `channels` is 2), as an
// SF3 writer stores a sample: encoded with libvorbisenc, every page whole,
// the last one ending the stream.
std::vector<uint8_t> EncodeOggVorbis(const std::vector<int16_t>& pcm, int channels = 1, long sampleRate = 44100);

}  // namespace kbn::test
