#include "reader/BankReader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "bank/NameText.h"
#include "codec/BlockAnalysis.h"
#include "reader/SampleReader.h"
#include "stream/ByteOrder.h"
#include "stream/StreamIo.h"

namespace kbn {
namespace {

constexpr uint64_t kStreamHeaderSize = 10;  // block size (2) and bit count (8)
constexpr uint64_t kSmallestSampleEntry = kSampleRecordSize + kStreamHeaderSize + 1;
constexpr uint64_t kSmallestZone = 2 + 4;
constexpr uint64_t kSmallestInstrument = kNameSize + 4;
constexpr uint64_t kSmallestPreset = kNameSize + 2 + 2 + 4;
constexpr uint8_t kKnownFlags = kSampleFlagPresent | kSampleFlagRom | kSampleFlagStereo;

// Reads fields while keeping count of where it is and how much is left, so
// that every count can be checked before it is believed.
class CBankCursor {
public:
    explicit CBankCursor(CStreamIn& in) : in_(in), size_(in.GetSize()) {}

    uint64_t Offset() const { return offset_; }
    uint64_t Remaining() const { return size_ - offset_; }
    uint64_t Size() const { return size_; }

    void ReadBytes(void* dst, uint32_t count, const std::string& what) {
        if (count > Remaining()) Fail(what + " runs past the end of the file");
        in_.Read(dst, count);
        offset_ += count;
    }

    uint8_t U8(const std::string& what) {
        uint8_t b[1];
        ReadBytes(b, 1, what);
        return b[0];
    }
    uint16_t U16(const std::string& what) {
        uint8_t b[2];
        ReadBytes(b, 2, what);
        return GetU16(b);
    }
    uint32_t U32(const std::string& what) {
        uint8_t b[4];
        ReadBytes(b, 4, what);
        return GetU32(b);
    }
    uint64_t U64(const std::string& what) {
        uint8_t b[8];
        ReadBytes(b, 8, what);
        return GetU64(b);
    }
    Name ReadName(const std::string& what) {
        Name name;
        ReadBytes(name.data(), kNameSize, what);
        return name;
    }

    void SkipBytes(uint64_t count, const std::string& what) {
        if (count > Remaining()) Fail(what + " runs past the end of the file");
        in_.Skip(static_cast<int64_t>(count));
        offset_ += count;
    }

    // A count of items each at least `smallest` bytes long.
    void CheckCount(uint64_t count, uint64_t smallest, uint64_t at, const std::string& what) {
        if (count > Remaining() / smallest) {
            FailAt(at, what + " " + std::to_string(count) + " needs at least " +
                           std::to_string(count * smallest) + " bytes but only " +
                           std::to_string(Remaining()) + " remain");
        }
    }

    [[noreturn]] void Fail(const std::string& problem) const { FailAt(offset_, problem); }
    [[noreturn]] static void FailAt(uint64_t offset, const std::string& problem) {
        throw CError("offset " + std::to_string(offset) + ": " + problem);
    }

private:
    CStreamIn& in_;
    uint64_t size_;
    uint64_t offset_ = 0;
};

BankSample ReadSampleEntry(CBankCursor& cursor, uint32_t index) {
    BankSample sample;
    sample.recordOffset = cursor.Offset();
    const std::string who = "sample " + std::to_string(index);
    SampleRecord& r = sample.record;
    r.name = cursor.ReadName(who);
    const std::string named = who + " " + QuotedName(r.name);
    r.length = cursor.U32(named);
    r.loopStart = cursor.U32(named);
    r.loopEnd = cursor.U32(named);
    r.sampleRate = cursor.U32(named);
    r.rootKey = cursor.U8(named);
    r.pitchCorrection = static_cast<int8_t>(cursor.U8(named));
    const uint64_t flagsOffset = cursor.Offset();
    r.flags = cursor.U8(named);
    if (!(r.flags & kSampleFlagPresent) || (r.flags & ~kKnownFlags)) {
        char text[8];
        std::snprintf(text, sizeof text, "0x%02X", r.flags);
        CBankCursor::FailAt(flagsOffset, named + " has flags " + text + ", which no bank holds");
    }
    uint8_t reserved[5];
    const uint64_t reservedOffset = cursor.Offset();
    cursor.ReadBytes(reserved, 5, named);
    for (uint8_t b : reserved) {
        if (b != 0) CBankCursor::FailAt(reservedOffset, named + " has non-zero reserved bytes");
    }

    sample.streamOffset = cursor.Offset();
    const uint16_t blockSize = cursor.U16(named + " stream");
    if (blockSize != kSamplesPerBlock) {
        CBankCursor::FailAt(sample.streamOffset, named + " has block size " + std::to_string(blockSize) +
                                                     ", not 32");
    }
    sample.bitCount = cursor.U64(named + " stream");
    // Every block has a 6-bit header and every residual at least one bit.
    const uint64_t blocks = r.length / kSamplesPerBlock + 1;
    const uint64_t fewestBits = 6 * blocks + r.length;
    if (sample.bitCount < fewestBits) {
        CBankCursor::FailAt(sample.streamOffset + 2, named + " has " + std::to_string(sample.bitCount) +
                                                         " bits, fewer than its " + std::to_string(r.length) +
                                                         " samples need (" + std::to_string(fewestBits) + ")");
    }
    sample.packedOffset = cursor.Offset();
    sample.packedSize = sample.bitCount / 8 + 1;
    if (sample.packedSize > cursor.Remaining()) {
        cursor.Fail(named + " stream of " + std::to_string(sample.bitCount) + " bits runs past the end of the file");
    }
    cursor.SkipBytes(sample.packedSize - 1, named + " stream");
    const uint8_t last = cursor.U8(named + " stream");
    if ((last >> (sample.bitCount % 8)) != 0) {
        CBankCursor::FailAt(cursor.Offset() - 1, named + " has non-zero padding bits after its last block");
    }
    return sample;
}

BankZone ReadZone(CBankCursor& cursor, const std::string& who) {
    BankZone zone;
    zone.offset = cursor.Offset();
    const uint16_t generatorCount = cursor.U16(who);
    cursor.CheckCount(generatorCount, kGeneratorEntrySize, zone.offset, who + " generator count");
    zone.generators.resize(generatorCount);
    for (GeneratorEntry& entry : zone.generators) {
        const uint64_t at = cursor.Offset();
        entry.id = cursor.U16(who);
        entry.amount = cursor.U16(who);
        if (entry.id < 1 || entry.id > kLastGeneratorId) {
            CBankCursor::FailAt(at, who + " has generator id " + std::to_string(entry.id) + ", outside 1-52");
        }
    }
    const uint64_t countOffset = cursor.Offset();
    const uint32_t modulatorCount = cursor.U32(who);
    cursor.CheckCount(modulatorCount, kModulatorRecordSize, countOffset, who + " modulator count");
    zone.modulators.resize(modulatorCount);
    for (ModulatorRecord& m : zone.modulators) {
        m.source = cursor.U16(who);
        m.destination = cursor.U16(who);
        m.amount = static_cast<int16_t>(cursor.U16(who));
        m.amountSource = cursor.U16(who);
        m.transform = cursor.U16(who);
    }
    return zone;
}

std::vector<BankZone> ReadZones(CBankCursor& cursor, const std::string& owner) {
    const uint64_t at = cursor.Offset();
    const uint32_t count = cursor.U32(owner);
    cursor.CheckCount(count, kSmallestZone, at, owner + " zone count");
    std::vector<BankZone> zones;
    zones.reserve(count);
    for (uint32_t z = 0; z < count; ++z) zones.push_back(ReadZone(cursor, owner + " zone " + std::to_string(z)));
    return zones;
}

uint32_t ReadSectionCount(CBankCursor& cursor, uint64_t smallest, const std::string& what) {
    const uint64_t at = cursor.Offset();
    const uint32_t count = cursor.U32(what);
    cursor.CheckCount(count, smallest, at, what);
    return count;
}

}  // namespace

Bank ReadBank(CStreamIn& in) {
    CBankCursor cursor(in);
    Bank bank;
    bank.fileSize = cursor.Size();
    uint8_t magic[4];
    cursor.ReadBytes(magic, 4, "the magic");
    if (std::memcmp(magic, kBankMagic.data(), 4) != 0) CBankCursor::FailAt(0, "not a KBN bank (no \"KBN-\" magic)");

    const uint32_t sampleCount = ReadSectionCount(cursor, kSmallestSampleEntry, "the sample count");
    bank.samples.reserve(sampleCount);
    for (uint32_t i = 0; i < sampleCount; ++i) bank.samples.push_back(ReadSampleEntry(cursor, i));

    const uint32_t instrumentCount = ReadSectionCount(cursor, kSmallestInstrument, "the instrument count");
    bank.instruments.reserve(instrumentCount);
    for (uint32_t i = 0; i < instrumentCount; ++i) {
        BankInstrument instrument;
        instrument.offset = cursor.Offset();
        instrument.name = cursor.ReadName("instrument " + std::to_string(i));
        instrument.zones = ReadZones(cursor, "instrument " + std::to_string(i) + " " + QuotedName(instrument.name));
        bank.instruments.push_back(std::move(instrument));
    }

    const uint32_t presetCount = ReadSectionCount(cursor, kSmallestPreset, "the preset count");
    bank.presets.reserve(presetCount);
    for (uint32_t i = 0; i < presetCount; ++i) {
        BankPreset preset;
        preset.offset = cursor.Offset();
        const std::string who = "preset " + std::to_string(i);
        preset.name = cursor.ReadName(who);
        preset.preset = cursor.U16(who);
        preset.bank = cursor.U16(who);
        preset.zones = ReadZones(cursor, who + " " + QuotedName(preset.name));
        bank.presets.push_back(std::move(preset));
    }

    if (cursor.Remaining() != 0) {
        cursor.Fail(std::to_string(cursor.Remaining()) + " bytes follow the preset section");
    }
    return bank;
}

void CheckBankReferences(const Bank& bank) {
    const auto check = [](const std::vector<BankZone>& zones, const std::string& owner, uint16_t id, std::size_t count,
                          const char* section) {
        for (std::size_t z = 0; z < zones.size(); ++z) {
            for (const GeneratorEntry& entry : zones[z].generators) {
                if (entry.id == id && entry.amount >= count) {
                    CBankCursor::FailAt(zones[z].offset, owner + " zone " + std::to_string(z) + " points to " +
                                                             section + " " + std::to_string(entry.amount) +
                                                             ", past the " + std::to_string(count) + " in the bank");
                }
            }
        }
    };
    for (std::size_t i = 0; i < bank.instruments.size(); ++i) {
        check(bank.instruments[i].zones, "instrument " + std::to_string(i) + " " + QuotedName(bank.instruments[i].name),
              kGenSampleId, bank.samples.size(), "sample");
    }
    for (std::size_t i = 0; i < bank.presets.size(); ++i) {
        check(bank.presets[i].zones, "preset " + std::to_string(i) + " " + QuotedName(bank.presets[i].name),
              kGenInstrument, bank.instruments.size(), "instrument");
    }
}

std::vector<int16_t> ReadSamplePcm(CStreamIn& in, const BankSample& sample, uint32_t index) {
    CSampleReader reader(in);
    const std::span<const int16_t> pcm = reader.Read(sample, index);
    return {pcm.begin(), pcm.end()};
}

}  // namespace kbn
