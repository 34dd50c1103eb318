#pragma once

#include <cstdint>
#include <vector>

#include "bank/BankLayout.h"

// A KBN bank as read back: every record, with the file offset it starts at.
namespace kbn {

struct BankSample {
    SampleRecord record;
    uint64_t recordOffset = 0;
    uint64_t streamOffset = 0;  // the block-size field
    uint64_t bitCount = 0;
    uint64_t packedOffset = 0;  // the first packed byte
    uint64_t packedSize = 0;    // floor(bitCount / 8) + 1
};

struct BankZone {
    uint64_t offset = 0;
    std::vector<GeneratorEntry> generators;
    std::vector<ModulatorRecord> modulators;
};

struct BankInstrument {
    uint64_t offset = 0;
    Name name{};
    std::vector<BankZone> zones;
};

struct BankPreset {
    uint64_t offset = 0;
    Name name{};
    uint16_t preset = 0;
    uint16_t bank = 0;
    std::vector<BankZone> zones;
};

struct Bank {
    std::vector<BankSample> samples;
    std::vector<BankInstrument> instruments;
    std::vector<BankPreset> presets;
    uint64_t fileSize = 0;
};

}  // namespace kbn
