#pragma once

#include <cstdint>
#include <vector>

namespace kbn::test {

// A standard MIDI file (format 0) that plays one note on every channel, each
// with a program of its own, then the drums on channel 10: a test song that
// touches many presets of a General MIDI bank.
std::vector<uint8_t> MakeTestSong();

}  // namespace kbn::test
