#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "import/SoundFontTables.h"

namespace kbn::test {

struct TestSfSample {
    std::string name;
    std::vector<int16_t> pcm;
    uint32_t loopStart = 0;  // relative to the sample's first point
    uint32_t loopEnd = 0;
    uint32_t sampleRate = 44100;
    uint8_t originalPitch = 60;
    int8_t pitchCorrection = 0;
    uint16_t sampleType = 1;
    // An SF3 sample: this Ogg Vorbis stream stands in the sample data in
    // place of `pcm`, its start and end bytes of it, its loop frames of
    // the decoded sample, and the type gets the compressed bit.
    std::vector<uint8_t> ogg = {};
};

struct TestSfZone {
    std::vector<SfGenerator> generators;       // SoundFont generator numbers
    std::vector<ModulatorRecord> modulators;   // SoundFont destinations
};

struct TestSfInstrument {
    std::string name;
    std::vector<TestSfZone> zones;
};

struct TestSfPreset {
    std::string name;
    uint16_t preset = 0;
    uint16_t bank = 0;
    std::vector<TestSfZone> zones;
};

struct TestSoundFont {
    std::vector<TestSfSample> samples;
    std::vector<TestSfInstrument> instruments;
    std::vector<TestSfPreset> presets;
};

// The parts of a SoundFont file, tables with their terminal records, open to
// being spoilt before they are serialized. A table whose `present` is false
// is left out of the file.
struct TestSfFile {
    SoundFontTables tables;
    std::vector<int16_t> points;  // the "smpl" chunk
    bool pdtaFirst = false;       // "pdta" before "sdta"
    bool junkBetweenLists = false;
    bool oddInfoChunk = false;    // an INFO sub-chunk of odd size
    bool withInfo = true;
    std::string sdtaFirstChunk = "smpl";
    std::vector<std::pair<std::string, std::vector<uint8_t>>> extraSdtaChunks;  // after "smpl"
    std::map<std::string, std::vector<uint8_t>> extraTableBytes;  // appended to a table chunk
    std::vector<std::pair<std::string, std::vector<uint8_t>>> extraPdtaChunks;
};

// Lays the samples out one after another with 46 zero points after each, and
// builds the bag, generator and modulator tables from the zones.
TestSfFile MakeSoundFontFile(const TestSoundFont& font);

std::vector<uint8_t> SerializeSoundFont(const TestSfFile& file);

inline std::vector<uint8_t> BuildSoundFont(const TestSoundFont& font) {
    return SerializeSoundFont(MakeSoundFontFile(font));
}

}  // namespace kbn::test
