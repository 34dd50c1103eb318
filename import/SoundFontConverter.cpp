#include "import/SoundFontConverter.h"


#include "bank/BankWriter.h"
#include "bank/GeneratorMap.h"
#include "bank/SampleSectionWriter.h"
#include "import/SoundFontReader.h"
#include "import/SoundFontValidation.h"
#include "import/SourceError.h"
#include "stream/MemoryStream.h"
#include "stream/StreamIo.h"

namespace kbn {
namespace {

// The sample-data list's first sub-chunk header precedes the sample points.
constexpr uint64_t kSmplHeaderSize = 8;

SampleRecord MakeSampleRecord(const SfSampleHeader& header) {
    SampleRecord record;
    record.name = header.name;
    // Loop points before the start wrap around, as 32-bit differences do.
    record.length = header.end - header.start;
    record.loopStart = header.startLoop - header.start;
    record.loopEnd = header.endLoop - header.start;
    record.sampleRate = header.sampleRate;
    record.rootKey = header.originalPitch;
    record.pitchCorrection = header.pitchCorrection;
    record.flags = kSampleFlagPresent;
    if (header.sampleType & kSampleTypeRom) record.flags |= kSampleFlagRom;
    return record;
}

// Hands every sample to the section; the caller finishes it.
void AddSamples(CStreamIn& in, CStreamOut& out, const SoundFontTables& tables, ConvertedBank& converted,
                CSampleSectionWriter& section) {
    const uint32_t count = tables.shdr.Count() - 1;
    WriteCount(out, count);
    for (uint32_t i = 0; i < count; ++i) {
        const SfSampleHeader& header = tables.shdr.records[i];
        const SampleRecord record = MakeSampleRecord(header);
        const uint64_t offset = tables.sampleDataPosition + kSmplHeaderSize + 2 * uint64_t{header.start};
        section.AddFrom(record, in, offset);
        converted.bank.samples.push_back(BankSample{record});
        converted.pcm.push_back({offset, 2});
        converted.pcmBytes += 2 * uint64_t{record.length};
    }
}

// The zones of header i: from its bag index up to the next header's.
template <typename Header>
std::vector<BankZone> MakeZones(const std::vector<Header>& headers, std::size_t i, const std::vector<SfBag>& bags,
                                const std::vector<SfGenerator>& generators,
                                const std::vector<ModulatorRecord>& modulators) {
    std::vector<BankZone> zones;
    for (uint32_t z = headers[i].bagIndex; z < headers[i + 1].bagIndex; ++z) {
        zones.push_back(MakeZone(bags, generators, modulators, z));
    }
    return zones;
}

void WriteZones(CStreamOut& out, const std::vector<BankZone>& zones) {
    for (const BankZone& zone : zones) WriteZoneRecord(out, zone.generators, zone.modulators);
}

void WriteInstruments(CStreamOut& out, const SoundFontTables& tables, ConvertedBank& converted) {
    const std::vector<SfInstrumentHeader>& inst = tables.inst.records;
    const uint32_t count = tables.inst.Count() - 1;
    WriteCount(out, count);
    for (uint32_t i = 0; i < count; ++i) {
        BankInstrument instrument;
        instrument.name = inst[i].name;
        instrument.zones = MakeZones(inst, i, tables.ibag.records, tables.igen.records, tables.imod.records);
        WriteInstrumentHeader(out, instrument.name, static_cast<uint32_t>(instrument.zones.size()));
        WriteZones(out, instrument.zones);
        converted.bank.instruments.push_back(std::move(instrument));
    }
}

void WritePresets(CStreamOut& out, const SoundFontTables& tables, ConvertedBank& converted) {
    const std::vector<SfPresetHeader>& phdr = tables.phdr.records;
    const uint32_t count = tables.phdr.Count() - 1;
    WriteCount(out, count);
    for (uint32_t i = 0; i < count; ++i) {
        BankPreset preset;
        preset.name = phdr[i].name;
        preset.preset = phdr[i].preset;
        preset.bank = phdr[i].bank;
        preset.zones = MakeZones(phdr, i, tables.pbag.records, tables.pgen.records, tables.pmod.records);
        WritePresetHeader(out, preset.name, preset.preset, preset.bank, static_cast<uint32_t>(preset.zones.size()));
        WriteZones(out, preset.zones);
        converted.bank.presets.push_back(std::move(preset));
    }
}

}  // namespace

BankZone MakeZone(const std::vector<SfBag>& bags, const std::vector<SfGenerator>& generators,
                  const std::vector<ModulatorRecord>& modulators, uint32_t zone) {
    const SfBag& bag = bags[zone];
    const SfBag& nextBag = bags[zone + 1];
    BankZone result;
    result.generators.reserve(nextBag.generatorIndex - bag.generatorIndex);
    for (uint32_t g = bag.generatorIndex; g < nextBag.generatorIndex; ++g) {
        if (const auto id = LookupGenerator(generators[g].oper)) {
            result.generators.push_back({*id, generators[g].amount});
        }
    }
    result.modulators.assign(modulators.begin() + bag.modulatorIndex, modulators.begin() + nextBag.modulatorIndex);
    return result;
}

void ConvertSoundFont(CStreamIn& in, CStreamOut& out, ConvertedBank* converted, unsigned threads,
                      uint64_t largestBuffer) {
    SoundFontTables tables;
    ConvertedBank scratch;
    ConvertedBank& result = converted ? *converted : scratch;
    CMemoryStreamOut structure;
    {
        // The encoding threads start while the SoundFont's structure is
        // read: starting a thread can take a millisecond or more. They end,
        // and their buffers go, with the sample section.
        CSampleSectionWriter section(out, threads);
        if (!ReadSoundFont(in, tables)) throw CSourceError("not a SoundFont 2 file: no RIFF 'sfbk' header");
        ValidateSoundFont(tables, largestBuffer);
        result = ConvertedBank{};
        result.sourceBitsPerSample = tables.hasSm24 ? 24 : 16;
        WriteMagic(out);
        AddSamples(in, out, tables, result, section);
        // The instruments and presets are put together while the workers
        // encode the last samples, and go out after them in one write,
        // where the file's 4 KiB buffer would take a system call per 4 KiB
        // (660 KB for FluidR3).
        WriteInstruments(structure, tables, result);
        WritePresets(structure, tables, result);
        section.Finish();
    }
    WriteBytes(out, structure.Bytes());
}

}  // namespace kbn
