#pragma once

#include <cstdint>
#include <vector>

#include "bank/BankLayout.h"

// The nine tables of a SoundFont's "pdta" list, record by record, each with
// its terminal record (the last one) still in place.
namespace kbn {

struct SfPresetHeader {  // "phdr", 38 bytes
    Name name{};
    uint16_t preset = 0;
    uint16_t bank = 0;
    uint16_t bagIndex = 0;
    uint32_t library = 0;
    uint32_t genre = 0;
    uint32_t morphology = 0;
};

struct SfBag {  // "pbag" and "ibag", 4 bytes
    uint16_t generatorIndex = 0;
    uint16_t modulatorIndex = 0;
};

struct SfGenerator {  // "pgen" and "igen", 4 bytes
    uint16_t oper = 0;
    uint16_t amount = 0;
};

struct SfInstrumentHeader {  // "inst", 22 bytes
    Name name{};
    uint16_t bagIndex = 0;
};

struct SfSampleHeader {  // "shdr", 46 bytes
    Name name{};
    uint32_t start = 0;
    uint32_t end = 0;
    uint32_t startLoop = 0;
    uint32_t endLoop = 0;
    uint32_t sampleRate = 0;
    uint8_t originalPitch = 0;
    int8_t pitchCorrection = 0;
    uint16_t sampleLink = 0;
    uint16_t sampleType = 0;
};

// SoundFont generator numbers that name another record.
inline constexpr uint16_t kSfInstrument = 41;
inline constexpr uint16_t kSfSampleId = 53;

inline constexpr uint16_t kSampleTypeCompressed = 0x0010;
inline constexpr uint16_t kSampleTypeRom = 0x8000;

template <typename Record>
struct SfTable {
    std::vector<Record> records;
    bool present = false;  // the chunk was in the file

    uint32_t Count() const { return static_cast<uint32_t>(records.size()); }
};

struct SoundFontTables {
    SfTable<SfPresetHeader> phdr;
    SfTable<SfBag> pbag;
    SfTable<ModulatorRecord> pmod;
    SfTable<SfGenerator> pgen;
    SfTable<SfInstrumentHeader> inst;
    SfTable<SfBag> ibag;
    SfTable<ModulatorRecord> imod;
    SfTable<SfGenerator> igen;
    SfTable<SfSampleHeader> shdr;

    bool hasPdta = false;
    bool hasSampleData = false;
    // Where the header of the sample-data list's first sub-chunk begins.
    uint64_t sampleDataPosition = 0;
    // The size of that sub-chunk ("smpl"): 16-bit sample points, two bytes each.
    uint32_t sampleDataSize = 0;
    // An "sm24" chunk follows "smpl": the low bytes of 24-bit sample points,
    // which the bank leaves out.
    bool hasSm24 = false;
};

}  // namespace kbn
