#include "import/SoundFontConverter.h"

#include <span>

#include "bank/BankWriter.h"
#include "bank/GeneratorMap.h"
#include "codec/SampleEncoder.h"
#include "import/SoundFontReader.h"
#include "import/SoundFontValidation.h"
#include "import/SourceError.h"
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

void WriteSamples(CStreamIn& in, CStreamOut& out, const SoundFontTables& tables) {
    const uint32_t count = tables.shdr.Count() - 1;
    WriteCount(out, count);
    std::vector<int16_t> pcm;  // grows to the largest sample, reused
    for (uint32_t i = 0; i < count; ++i) {
        const SfSampleHeader& header = tables.shdr.records[i];
        const SampleRecord record = MakeSampleRecord(header);
        WriteSampleRecord(out, record);
        in.Seek(tables.sampleDataPosition + kSmplHeaderSize + 2 * uint64_t{header.start});
        pcm.resize(record.length);
        ReadPcm16(in, pcm.data(), pcm.size());
        EncodeSample(out, pcm.data(), static_cast<int32_t>(pcm.size()));
    }
}

void WriteInstruments(CStreamOut& out, const SoundFontTables& tables) {
    const std::vector<SfInstrumentHeader>& inst = tables.inst.records;
    const uint32_t count = tables.inst.Count() - 1;
    WriteCount(out, count);
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t first = inst[i].bagIndex;
        const uint32_t next = inst[i + 1].bagIndex;
        WriteInstrumentHeader(out, inst[i].name, next - first);
        for (uint32_t z = first; z < next; ++z) {
            WriteZone(out, tables.ibag.records, tables.igen.records, tables.imod.records, z);
        }
    }
}

void WritePresets(CStreamOut& out, const SoundFontTables& tables) {
    const std::vector<SfPresetHeader>& phdr = tables.phdr.records;
    const uint32_t count = tables.phdr.Count() - 1;
    WriteCount(out, count);
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t first = phdr[i].bagIndex;
        const uint32_t next = phdr[i + 1].bagIndex;
        WritePresetHeader(out, phdr[i].name, phdr[i].preset, phdr[i].bank, next - first);
        for (uint32_t z = first; z < next; ++z) {
            WriteZone(out, tables.pbag.records, tables.pgen.records, tables.pmod.records, z);
        }
    }
}

}  // namespace

void WriteZone(CStreamOut& out, const std::vector<SfBag>& bags, const std::vector<SfGenerator>& generators,
               const std::vector<ModulatorRecord>& modulators, uint32_t zone) {
    const SfBag& bag = bags[zone];
    const SfBag& nextBag = bags[zone + 1];
    std::vector<GeneratorEntry> kept;
    kept.reserve(nextBag.generatorIndex - bag.generatorIndex);
    for (uint32_t g = bag.generatorIndex; g < nextBag.generatorIndex; ++g) {
        if (const auto id = LookupGenerator(generators[g].oper)) kept.push_back({*id, generators[g].amount});
    }
    const std::span<const ModulatorRecord> zoneModulators(modulators.data() + bag.modulatorIndex,
                                                          nextBag.modulatorIndex - bag.modulatorIndex);
    WriteZoneRecord(out, kept, zoneModulators);
}

void ConvertSoundFont(CStreamIn& in, CStreamOut& out) {
    SoundFontTables tables;
    if (!ReadSoundFont(in, tables)) throw CSourceError("not a SoundFont 2 file: no RIFF 'sfbk' header");
    ValidateSoundFont(tables);
    WriteMagic(out);
    WriteSamples(in, out, tables);
    WriteInstruments(out, tables);
    WritePresets(out, tables);
}

}  // namespace kbn
