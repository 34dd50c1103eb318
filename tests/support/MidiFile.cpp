#include "tests/support/MidiFile.h"

#include <algorithm>

namespace kbn::test {
namespace {

void Delta(std::vector<uint8_t>& track, uint32_t ticks) {
    uint8_t bytes[5];
    int n = 0;
    bytes[n++] = static_cast<uint8_t>(ticks & 0x7F);
    while (ticks >>= 7) bytes[n++] = static_cast<uint8_t>(0x80 | (ticks & 0x7F));
    while (n > 0) track.push_back(bytes[--n]);
}

void Event(std::vector<uint8_t>& track, uint32_t ticks, std::initializer_list<uint8_t> bytes) {
    Delta(track, ticks);
    track.insert(track.end(), bytes);
}

// Format 0, one track, 480 ticks a beat (at the default 120 beats a
// minute, 960 ticks a second).
std::vector<uint8_t> FileOf(const std::vector<uint8_t>& track) {
    const auto size = static_cast<uint32_t>(track.size());
    std::vector<uint8_t> file = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0x01, 0xE0, 'M', 'T', 'r', 'k',
                                 static_cast<uint8_t>(size >> 24), static_cast<uint8_t>(size >> 16),
                                 static_cast<uint8_t>(size >> 8), static_cast<uint8_t>(size)};
    const std::size_t header = file.size();
    file.resize(header + track.size());
    std::copy(track.begin(), track.end(), file.begin() + static_cast<std::ptrdiff_t>(header));
    return file;
}

}  // namespace

std::vector<uint8_t> MakeHeldNote(uint8_t key, uint32_t milliseconds) {
    std::vector<uint8_t> track;
    Event(track, 0, {0xC0, 0});
    Event(track, 0, {0x90, key, 100});
    Event(track, milliseconds * 96 / 100, {0x80, key, 0});
    Event(track, 0, {0xFF, 0x2F, 0x00});
    return FileOf(track);
}

std::vector<uint8_t> MakeTestSong() {
    const uint8_t programs[] = {0, 24, 40, 56, 73, 19, 33, 48, 80, 0, 11, 104, 115, 61, 88, 30};
    std::vector<uint8_t> track;
    for (uint8_t channel = 0; channel < 16; ++channel) {
        if (channel != 9) Event(track, 0, {static_cast<uint8_t>(0xC0 | channel), programs[channel]});
    }
    // Overlapping notes, each held for half a beat, on every melodic channel.
    for (uint8_t channel = 0; channel < 16; ++channel) {
        if (channel == 9) continue;
        const auto note = static_cast<uint8_t>(48 + 3 * channel);
        Event(track, 60, {static_cast<uint8_t>(0x90 | channel), note, 100});
        Event(track, 240, {static_cast<uint8_t>(0x80 | channel), note, 0});
    }
    for (const uint8_t drum : {uint8_t{35}, uint8_t{38}, uint8_t{42}, uint8_t{46}, uint8_t{49}, uint8_t{56}}) {
        Event(track, 60, {0x99, drum, 110});
        Event(track, 120, {0x89, drum, 0});
    }
    Event(track, 480, {0xFF, 0x2F, 0x00});
    return FileOf(track);
}

}  // namespace kbn::test
