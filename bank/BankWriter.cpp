#include "bank/BankWriter.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "bank/SampleSectionWriter.h"
#include "stream/Error.h"
#include "stream/MemoryStream.h"
#include "stream/StreamIo.h"

namespace kbn {
namespace {

void WriteCount(CStreamOut& out, uint32_t count) { WriteU32(out, count); }

void WriteName(CStreamOut& out, const Name& name) { out.Write(name.data(), kNameSize); }

void WriteInstrumentHeader(CStreamOut& out, const Name& name, uint32_t zoneCount) {
    WriteName(out, name);
    WriteU32(out, zoneCount);
}

void WritePresetHeader(CStreamOut& out, const Name& name, uint16_t preset, uint16_t bank,
                       uint32_t zoneCount) {
    WriteName(out, name);
    WriteU16(out, preset);
    WriteU16(out, bank);
    WriteU32(out, zoneCount);
}

void WriteModulatorRecord(CStreamOut& out, const ModulatorRecord& modulator) {
    WriteU16(out, modulator.source);
    WriteU16(out, modulator.destination);
    WriteU16(out, static_cast<uint16_t>(modulator.amount));
    WriteU16(out, modulator.amountSource);
    WriteU16(out, modulator.transform);
}

// Its generator list, then its modulators.
void WriteZone(CStreamOut& out, const BankZone& zone) {
    if (zone.generators.size() > UINT16_MAX) throw CError("a zone holds at most 65535 generators");
    WriteU16(out, static_cast<uint16_t>(zone.generators.size()));
    for (const GeneratorEntry& entry : zone.generators) {
        WriteU16(out, entry.id);
        WriteU16(out, entry.amount);
    }
    WriteU32(out, static_cast<uint32_t>(zone.modulators.size()));
    for (const ModulatorRecord& modulator : zone.modulators) WriteModulatorRecord(out, modulator);
}

uint32_t CountOf(std::size_t size, const char* what) {
    if (size > UINT32_MAX) throw CError(std::string("a bank holds at most 4294967295 ") + what);
    return static_cast<uint32_t>(size);
}

void WriteZones(CStreamOut& out, const std::vector<BankZone>& zones) {
    for (const BankZone& zone : zones) WriteZone(out, zone);
}

void WriteInstrumentsAndPresets(CStreamOut& out, const Bank& bank) {
    WriteCount(out, CountOf(bank.instruments.size(), "instruments"));
    for (const BankInstrument& instrument : bank.instruments) {
        WriteInstrumentHeader(out, instrument.name, CountOf(instrument.zones.size(), "zones"));
        WriteZones(out, instrument.zones);
    }
    WriteCount(out, CountOf(bank.presets.size(), "presets"));
    for (const BankPreset& preset : bank.presets) {
        WritePresetHeader(out, preset.name, preset.preset, preset.bank, CountOf(preset.zones.size(), "zones"));
        WriteZones(out, preset.zones);
    }
}

}  // namespace

void WriteBank(CStreamOut& out, BankContents& contents, unsigned threads) {
    CSampleSectionWriter section(out, contents, threads);
    WriteMagic(out);
    const uint32_t samples = CountOf(contents.bank.samples.size(), "samples");
    WriteCount(out, samples);
    for (uint32_t i = 0; i < samples; ++i) section.Add(i);
    // The instruments and presets are put together while the workers encode
    // the last samples, and go out after them in one write, where the file's
    // 4 KiB buffer would take a system call per 4 KiB.
    CMemoryStreamOut structure;
    WriteInstrumentsAndPresets(structure, contents.bank);
    section.Finish();
    WriteBytes(out, structure.Bytes());
}

void WriteMagic(CStreamOut& out) { out.Write(kBankMagic.data(), static_cast<uint32_t>(kBankMagic.size())); }

void WriteSampleRecord(CStreamOut& out, const SampleRecord& record) {
    static constexpr uint8_t kReserved[5] = {};
    WriteName(out, record.name);
    WriteU32(out, record.length);
    WriteU32(out, record.loopStart);
    WriteU32(out, record.loopEnd);
    WriteU32(out, record.sampleRate);
    WriteU8(out, record.rootKey);
    WriteU8(out, static_cast<uint8_t>(record.pitchCorrection));
    WriteU8(out, record.flags);
    out.Write(kReserved, sizeof kReserved);
}

Name MakeName(const char* text) {
    Name name{};
    const std::size_t length = std::min<std::size_t>(std::strlen(text), kNameSize);
    std::memcpy(name.data(), text, length);
    return name;
}

}  // namespace kbn
