#include "export/SoundFontWriter.h"

#include <algorithm>

#include "bank/GeneratorMap.h"
#include "stream/Error.h"
#include "stream/StreamIo.h"

namespace kbn {
namespace {

constexpr uint32_t kZeroPointsAfterSample = 46;
constexpr uint16_t kSampleTypeMono = 1;
constexpr uint16_t kSampleTypeRomMono = 0x8001;

// The sizes of every part, known before the first byte is written.
struct Layout {
    uint32_t infoSize = 0;  // the INFO list's contents, type included
    uint64_t points = 0;    // sample points in "smpl"
    uint32_t instrumentZones = 0, instrumentGenerators = 0, instrumentModulators = 0;
    uint32_t presetZones = 0, presetGenerators = 0, presetModulators = 0;
};

std::string NameChunk(const std::string& bankName) {
    std::string text = bankName.substr(0, 255);
    text.push_back('\0');
    if (text.size() % 2) text.push_back('\0');
    return text;
}

template <typename Owner>
void CountZones(const std::vector<Owner>& owners, uint32_t& zones, uint32_t& generators, uint32_t& modulators) {
    uint64_t z = 0, g = 0, m = 0;
    for (const Owner& owner : owners) {
        z += owner.zones.size();
        for (const BankZone& zone : owner.zones) {
            g += zone.generators.size();
            m += zone.modulators.size();
        }
    }
    // Bag, generator and modulator indexes are 16 bits; the terminal
    // records take one more place each.
    if (z >= 0xFFFF || g >= 0xFFFF || m >= 0xFFFF) {
        throw CError("the bank has more zones, generators or modulators than a SoundFont can index");
    }
    zones = static_cast<uint32_t>(z);
    generators = static_cast<uint32_t>(g);
    modulators = static_cast<uint32_t>(m);
}

Layout Measure(const Bank& bank, const std::string& bankName) {
    Layout layout;
    layout.infoSize = 4 + (8 + 4) + (8 + 8) + 8 + static_cast<uint32_t>(NameChunk(bankName).size());
    for (const BankSample& sample : bank.samples) {
        layout.points += uint64_t{sample.record.length} + kZeroPointsAfterSample;
    }
    if (2 * layout.points > UINT32_MAX - 1024) throw CError("the samples are too long for a SoundFont");
    CountZones(bank.instruments, layout.instrumentZones, layout.instrumentGenerators, layout.instrumentModulators);
    CountZones(bank.presets, layout.presetZones, layout.presetGenerators, layout.presetModulators);
    return layout;
}

uint32_t PdtaSize(const Bank& bank, const Layout& l) {
    const uint64_t records = 38 * (bank.presets.size() + 1) + 4 * (l.presetZones + 1) +
                             10 * (l.presetModulators + 1) + 4 * (l.presetGenerators + 1) +
                             22 * (bank.instruments.size() + 1) + 4 * (l.instrumentZones + 1) +
                             10 * (l.instrumentModulators + 1) + 4 * (l.instrumentGenerators + 1) +
                             46 * (bank.samples.size() + 1);
    return static_cast<uint32_t>(4 + 9 * 8 + records);
}

void ChunkHeader(CStreamOut& out, const char (&id)[5], uint64_t size) {
    out.Write(id, 4);
    WriteU32(out, static_cast<uint32_t>(size));
}

void WriteSfName(CStreamOut& out, const Name& name) { out.Write(name.data(), kNameSize); }

void WriteSfName(CStreamOut& out, const char* text) {
    Name name{};
    for (std::size_t i = 0; text[i] != '\0' && i < name.size(); ++i) name[i] = static_cast<uint8_t>(text[i]);
    WriteSfName(out, name);
}

uint16_t SoundFontDestination(uint16_t destination) {
    if (const auto number = SoundFontGeneratorOf(destination)) return *number;
    return destination;
}

template <typename Owner>
void WriteBags(CStreamOut& out, const char (&id)[5], const std::vector<Owner>& owners, uint32_t zones) {
    ChunkHeader(out, id, 4 * (uint64_t{zones} + 1));
    uint32_t generator = 0, modulator = 0;
    for (const Owner& owner : owners) {
        for (const BankZone& zone : owner.zones) {
            WriteU16(out, static_cast<uint16_t>(generator));
            WriteU16(out, static_cast<uint16_t>(modulator));
            generator += static_cast<uint32_t>(zone.generators.size());
            modulator += static_cast<uint32_t>(zone.modulators.size());
        }
    }
    WriteU16(out, static_cast<uint16_t>(generator));
    WriteU16(out, static_cast<uint16_t>(modulator));
}

template <typename Owner>
void WriteModulators(CStreamOut& out, const char (&id)[5], const std::vector<Owner>& owners, uint32_t count) {
    ChunkHeader(out, id, 10 * (uint64_t{count} + 1));
    for (const Owner& owner : owners) {
        for (const BankZone& zone : owner.zones) {
            for (const ModulatorRecord& m : zone.modulators) {
                WriteU16(out, m.source);
                WriteU16(out, SoundFontDestination(m.destination));
                WriteU16(out, static_cast<uint16_t>(m.amount));
                WriteU16(out, m.amountSource);
                WriteU16(out, m.transform);
            }
        }
    }
    static constexpr uint8_t kTerminal[10] = {};
    out.Write(kTerminal, sizeof kTerminal);
}

// A SoundFont zone lists keyRange first, velRange second and ends with
// sampleID or instrument; players drop what comes after these (FluidSynth
// then loses a zone's loop and pan). The others keep the bank's order, so
// that a bank made from a SoundFont converts back to itself.
int StandardRank(uint16_t id) {
    switch (id) {
        case kGenKeyRange: return 0;
        case kGenVelRange: return 1;
        case kGenSampleId:
        case kGenInstrument: return 3;
        default: return 2;
    }
}

std::vector<GeneratorEntry> InStandardOrder(const std::vector<GeneratorEntry>& generators) {
    std::vector<GeneratorEntry> ordered = generators;
    std::stable_sort(ordered.begin(), ordered.end(), [](const GeneratorEntry& a, const GeneratorEntry& b) {
        return StandardRank(a.id) < StandardRank(b.id);
    });
    return ordered;
}

template <typename Owner>
void WriteGenerators(CStreamOut& out, const char (&id)[5], const std::vector<Owner>& owners, uint32_t count) {
    ChunkHeader(out, id, 4 * (uint64_t{count} + 1));
    for (const Owner& owner : owners) {
        for (const BankZone& zone : owner.zones) {
            for (const GeneratorEntry& g : InStandardOrder(zone.generators)) {
                const auto number = SoundFontGeneratorOf(g.id);
                if (!number) throw CError("generator id " + std::to_string(g.id) + " has no SoundFont number");
                WriteU16(out, *number);
                WriteU16(out, g.amount);
            }
        }
    }
    WriteU32(out, 0);
}

void WritePdta(CStreamOut& out, const Bank& bank, const Layout& l) {
    ChunkHeader(out, "LIST", PdtaSize(bank, l));
    out.Write("pdta", 4);

    ChunkHeader(out, "phdr", 38 * (uint64_t{bank.presets.size()} + 1));
    uint32_t bag = 0;
    for (const BankPreset& preset : bank.presets) {
        WriteSfName(out, preset.name);
        WriteU16(out, preset.preset);
        WriteU16(out, preset.bank);
        WriteU16(out, static_cast<uint16_t>(bag));
        WriteU32(out, 0);
        WriteU32(out, 0);
        WriteU32(out, 0);
        bag += static_cast<uint32_t>(preset.zones.size());
    }
    WriteSfName(out, "EOP");
    WriteU16(out, 0);
    WriteU16(out, 0);
    WriteU16(out, static_cast<uint16_t>(bag));
    WriteU32(out, 0);
    WriteU32(out, 0);
    WriteU32(out, 0);
    WriteBags(out, "pbag", bank.presets, l.presetZones);
    WriteModulators(out, "pmod", bank.presets, l.presetModulators);
    WriteGenerators(out, "pgen", bank.presets, l.presetGenerators);

    ChunkHeader(out, "inst", 22 * (uint64_t{bank.instruments.size()} + 1));
    bag = 0;
    for (const BankInstrument& instrument : bank.instruments) {
        WriteSfName(out, instrument.name);
        WriteU16(out, static_cast<uint16_t>(bag));
        bag += static_cast<uint32_t>(instrument.zones.size());
    }
    WriteSfName(out, "EOI");
    WriteU16(out, static_cast<uint16_t>(bag));
    WriteBags(out, "ibag", bank.instruments, l.instrumentZones);
    WriteModulators(out, "imod", bank.instruments, l.instrumentModulators);
    WriteGenerators(out, "igen", bank.instruments, l.instrumentGenerators);

    ChunkHeader(out, "shdr", 46 * (uint64_t{bank.samples.size()} + 1));
    uint32_t start = 0;
    for (const BankSample& sample : bank.samples) {
        const SampleRecord& r = sample.record;
        WriteSfName(out, r.name);
        WriteU32(out, start);
        WriteU32(out, start + r.length);
        WriteU32(out, start + r.loopStart);  // wraps back to the bank's value on conversion
        WriteU32(out, start + r.loopEnd);
        WriteU32(out, r.sampleRate);
        WriteU8(out, r.rootKey);
        WriteU8(out, static_cast<uint8_t>(r.pitchCorrection));
        WriteU16(out, 0);  // no link
        WriteU16(out, (r.flags & kSampleFlagRom) ? kSampleTypeRomMono : kSampleTypeMono);
        start += r.length + kZeroPointsAfterSample;
    }
    WriteSfName(out, "EOS");
    static constexpr uint8_t kTerminalTail[26] = {};
    out.Write(kTerminalTail, sizeof kTerminalTail);
}

void WriteSamplePoints(CStreamOut& out, const Bank& bank, const SamplePcmSource& pcm) {
    std::vector<uint8_t> bytes;
    for (uint32_t i = 0; i < bank.samples.size(); ++i) {
        const std::vector<int16_t> points = pcm(i);
        if (points.size() != bank.samples[i].record.length) {
            throw CError("sample " + std::to_string(i) + " has the wrong number of points");
        }
        bytes.assign(2 * (points.size() + kZeroPointsAfterSample), 0);
        for (std::size_t j = 0; j < points.size(); ++j) PutU16(bytes.data() + 2 * j, static_cast<uint16_t>(points[j]));
        out.Write(bytes.data(), static_cast<uint32_t>(bytes.size()));
    }
}

}  // namespace

void WriteSoundFont(CStreamOut& out, const Bank& bank, const SamplePcmSource& pcm, const std::string& bankName) {
    const Layout layout = Measure(bank, bankName);
    const uint64_t smplSize = 2 * layout.points;
    const uint64_t sdtaSize = 4 + 8 + smplSize;
    const uint64_t pdtaSize = PdtaSize(bank, layout);
    const uint64_t riffSize = 4 + (8 + layout.infoSize) + (8 + sdtaSize) + (8 + pdtaSize);
    if (riffSize > UINT32_MAX) throw CError("the bank is too large for a SoundFont file");

    ChunkHeader(out, "RIFF", riffSize);
    out.Write("sfbk", 4);

    ChunkHeader(out, "LIST", layout.infoSize);
    out.Write("INFO", 4);
    ChunkHeader(out, "ifil", 4);
    WriteU16(out, 2);
    WriteU16(out, 1);
    ChunkHeader(out, "isng", 8);
    out.Write("EMU8000", 8);
    const std::string name = NameChunk(bankName);
    ChunkHeader(out, "INAM", name.size());
    out.Write(name.data(), static_cast<uint32_t>(name.size()));

    ChunkHeader(out, "LIST", sdtaSize);
    out.Write("sdta", 4);
    ChunkHeader(out, "smpl", smplSize);
    WriteSamplePoints(out, bank, pcm);

    WritePdta(out, bank, layout);
}

}  // namespace kbn
