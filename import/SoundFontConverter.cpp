#include "import/SoundFontConverter.h"

#include <memory>
#include <vector>

#include "bank/BankWriter.h"
#include "bank/GeneratorMap.h"
#include "import/SoundFontReader.h"
#include "import/SoundFontValidation.h"
#include "import/SourcePcm.h"
#include "stream/Error.h"

namespace kbn {
namespace {

// The sample-data list's first sub-chunk header precedes the sample points.
constexpr uint64_t kSmplHeaderSize = 8;

bool IsCompressed(const SfSampleHeader& header) { return (header.sampleType & kSampleTypeCompressed) != 0; }

// An uncompressed sample's start, end and loop count points of the whole
// "smpl" chunk; a compressed one's start and end bytes of it, its loop
// frames of the decoded sample, whose length is known once decoded.
SampleRecord MakeSampleRecord(const SfSampleHeader& header) {
    SampleRecord record;
    record.name = header.name;
    if (IsCompressed(header)) {
        record.loopStart = header.startLoop;
        record.loopEnd = header.endLoop;
    } else {
        // Loop points before the start wrap around, as 32-bit differences do.
        record.length = header.end - header.start;
        record.loopStart = header.startLoop - header.start;
        record.loopEnd = header.endLoop - header.start;
    }
    record.sampleRate = header.sampleRate;
    record.rootKey = header.originalPitch;
    record.pitchCorrection = header.pitchCorrection;
    record.flags = kSampleFlagPresent;
    if (header.sampleType & kSampleTypeRom) record.flags |= kSampleFlagRom;
    return record;
}

PcmLocation Locate(const SfSampleHeader& header, const SoundFontTables& tables) {
    const uint64_t data = tables.sampleDataPosition + kSmplHeaderSize;
    PcmLocation where;
    if (IsCompressed(header)) {
        where.kind = PcmLocation::Kind::OggVorbis;
        where.offset = data + header.start;
        where.bytes = header.end - header.start;
    } else {
        where.offset = data + 2 * uint64_t{header.start};
        where.frames = header.end - header.start;
    }
    return where;
}

// The one place where SoundFont numbers become the bank's: generators that
// the bank keeps get their bank ids, the others are dropped; a modulator's
// destination that names a kept generator gets its id too, any other
// (a link, an unknown number) stays as it is.
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
    for (ModulatorRecord& modulator : result.modulators) {
        if (const auto id = LookupGenerator(modulator.destination)) modulator.destination = *id;
    }
    return result;
}

// The zones of header i: from its bag index up to the next header's.
template <typename Header>
std::vector<BankZone> MakeZones(const std::vector<Header>& headers, std::size_t i, const std::vector<SfBag>& bags,
                                const std::vector<SfGenerator>& generators,
                                const std::vector<ModulatorRecord>& modulators) {
    std::vector<BankZone> zones;
    zones.reserve(headers[i + 1].bagIndex - headers[i].bagIndex);
    for (uint32_t z = headers[i].bagIndex; z < headers[i + 1].bagIndex; ++z) {
        zones.push_back(MakeZone(bags, generators, modulators, z));
    }
    return zones;
}

Bank MakeBank(const SoundFontTables& tables) {
    Bank bank;
    const auto& shdr = tables.shdr.records;
    bank.samples.reserve(shdr.size() - 1);
    for (std::size_t i = 0; i + 1 < shdr.size(); ++i) bank.samples.push_back(BankSample{MakeSampleRecord(shdr[i])});
    const auto& inst = tables.inst.records;
    bank.instruments.reserve(inst.size() - 1);
    for (std::size_t i = 0; i + 1 < inst.size(); ++i) {
        BankInstrument& instrument = bank.instruments.emplace_back();
        instrument.name = inst[i].name;
        instrument.zones = MakeZones(inst, i, tables.ibag.records, tables.igen.records, tables.imod.records);
    }
    const auto& phdr = tables.phdr.records;
    bank.presets.reserve(phdr.size() - 1);
    for (std::size_t i = 0; i + 1 < phdr.size(); ++i) {
        BankPreset& preset = bank.presets.emplace_back();
        preset.name = phdr[i].name;
        preset.preset = phdr[i].preset;
        preset.bank = phdr[i].bank;
        preset.zones = MakeZones(phdr, i, tables.pbag.records, tables.pgen.records, tables.pmod.records);
    }
    return bank;
}

}  // namespace

ConvertedBank ImportSoundFont(CStreamIn& in, uint64_t largestBuffer) {
    SoundFontTables tables;
    if (!ReadSoundFont(in, tables)) throw CError("not a SoundFont file: no RIFF 'sfbk' header");
    ValidateSoundFont(tables, largestBuffer);
    ConvertedBank converted;
    converted.contents.bank = MakeBank(tables);
    std::vector<PcmLocation> locations;
    std::vector<Name> names;
    const auto& shdr = tables.shdr.records;
    for (std::size_t i = 0; i + 1 < shdr.size(); ++i) {
        locations.push_back(Locate(shdr[i], tables));
        names.push_back(shdr[i].name);
    }
    converted.contents.pcm = std::make_shared<CSourcePcm>(in, std::move(locations), std::move(names), largestBuffer);
    converted.sourceBitsPerSample = tables.hasSm24 ? 24 : 16;
    return converted;
}

void ConvertSoundFont(CStreamIn& in, CStreamOut& out, ConvertedBank* converted, unsigned threads,
                      uint64_t largestBuffer) {
    ConvertedBank imported = ImportSoundFont(in, largestBuffer);
    WriteBank(out, imported.contents, threads);
    if (converted) *converted = std::move(imported);
}

}  // namespace kbn
