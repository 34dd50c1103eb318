#pragma once

#include <array>
#include <cstdint>

// The KBN bank, written front to back with every count before what it counts:
//   "KBN-"
//   sample count (u32), then per sample a 44-byte record and its encoded stream
//   instrument count (u32), then per instrument: name[20], zone count (u32), zones
//   preset count (u32), then per preset: name[20], preset (u16), bank (u16),
//                                         zone count (u32), zones
// A zone: generator count (u16), (id u16, amount u16) each, modulator count
// (u32), 10-byte modulator records. All integers little-endian, no padding.
namespace kbn {

inline constexpr std::array<char, 4> kBankMagic = {'K', 'B', 'N', '-'};
inline constexpr uint32_t kNameSize = 20;
inline constexpr uint32_t kSampleRecordSize = 44;
inline constexpr uint32_t kModulatorRecordSize = 10;
inline constexpr uint32_t kGeneratorEntrySize = 4;

// Sample record flags.
inline constexpr uint8_t kSampleFlagPresent = 0x01;  // set in every record
inline constexpr uint8_t kSampleFlagRom = 0x04;      // the source declares a ROM sample
inline constexpr uint8_t kSampleFlagStereo = 0x08;   // one channel of a stereo WAV

// Bank generator ids that the code names.
inline constexpr uint16_t kGenSampleId = 1;
inline constexpr uint16_t kGenKeyRange = 2;
inline constexpr uint16_t kGenVelRange = 3;
inline constexpr uint16_t kGenSampleModes = 6;
inline constexpr uint16_t kGenPan = 8;
inline constexpr uint16_t kGenInstrument = 52;
inline constexpr uint16_t kLastGeneratorId = 52;

using Name = std::array<uint8_t, kNameSize>;

struct SampleRecord {
    Name name{};
    uint32_t length = 0;
    uint32_t loopStart = 0;
    uint32_t loopEnd = 0;
    uint32_t sampleRate = 0;
    uint8_t rootKey = 0;
    int8_t pitchCorrection = 0;
    uint8_t flags = kSampleFlagPresent;
};

struct GeneratorEntry {
    uint16_t id = 0;
    uint16_t amount = 0;
};

// A modulator in the SoundFont layout; its destination is a bank generator
// id when the source named a generator the bank keeps.
struct ModulatorRecord {
    uint16_t source = 0;
    uint16_t destination = 0;
    int16_t amount = 0;
    uint16_t amountSource = 0;
    uint16_t transform = 0;
};

}  // namespace kbn
