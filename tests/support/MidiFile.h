#pragma once

#include <cstdint>
#include <vector>

namespace kbn::test {

// A standard MIDI file (format 0) that plays one note on every channel, each
// with a program of its own, then the drums on channel 10: a test song that
// touches many presets of a General MIDI bank.
std::vector<uint8_t> MakeTestSong();

// One note of program 0 on channel 0, held for `milliseconds`.
std::vector<uint8_t> MakeHeldNote(uint8_t key, uint32_t milliseconds);

}  // namespace kbn::test
