#include "tests/support/SoundFontBuilder.h"

#include <algorithm>

#include "tests/support/ByteBuilder.h"

namespace kbn::test {
namespace {

Name ToName(const std::string& text) {
    Name name{};
    std::copy_n(text.begin(), std::min<std::size_t>(text.size(), name.size()), name.begin());
    return name;
}

template <typename Header>
void AddZones(const std::vector<TestSfZone>& zones, SfTable<SfBag>& bags, SfTable<SfGenerator>& generators,
              SfTable<ModulatorRecord>& modulators) {
    for (const TestSfZone& zone : zones) {
        bags.records.push_back({static_cast<uint16_t>(generators.records.size()),
                                static_cast<uint16_t>(modulators.records.size())});
        generators.records.insert(generators.records.end(), zone.generators.begin(), zone.generators.end());
        modulators.records.insert(modulators.records.end(), zone.modulators.begin(), zone.modulators.end());
    }
}

void CloseZoneTables(SfTable<SfBag>& bags, SfTable<SfGenerator>& generators, SfTable<ModulatorRecord>& modulators) {
    bags.records.push_back({static_cast<uint16_t>(generators.records.size()),
                            static_cast<uint16_t>(modulators.records.size())});
    generators.records.push_back({});
    modulators.records.push_back({});
    bags.present = generators.present = modulators.present = true;
}

void Put(ByteBuilder& b, const SfPresetHeader& r) {
    b.Bytes(std::vector<uint8_t>(r.name.begin(), r.name.end()));
    b.U16(r.preset).U16(r.bank).U16(r.bagIndex).U32(r.library).U32(r.genre).U32(r.morphology);
}
void Put(ByteBuilder& b, const SfBag& r) { b.U16(r.generatorIndex).U16(r.modulatorIndex); }
void Put(ByteBuilder& b, const SfGenerator& r) { b.U16(r.oper).U16(r.amount); }
void Put(ByteBuilder& b, const ModulatorRecord& r) {
    b.U16(r.source).U16(r.destination).S16(r.amount).U16(r.amountSource).U16(r.transform);
}
void Put(ByteBuilder& b, const SfInstrumentHeader& r) {
    b.Bytes(std::vector<uint8_t>(r.name.begin(), r.name.end()));
    b.U16(r.bagIndex);
}
void Put(ByteBuilder& b, const SfSampleHeader& r) {
    b.Bytes(std::vector<uint8_t>(r.name.begin(), r.name.end()));
    b.U32(r.start).U32(r.end).U32(r.startLoop).U32(r.endLoop).U32(r.sampleRate);
    b.U8(r.originalPitch).U8(static_cast<uint8_t>(r.pitchCorrection)).U16(r.sampleLink).U16(r.sampleType);
}

template <typename Record>
void PutTable(ByteBuilder& pdta, const TestSfFile& file, const char* id, const SfTable<Record>& table) {
    if (!table.present) return;
    ByteBuilder body;
    for (const Record& record : table.records) Put(body, record);
    if (auto extra = file.extraTableBytes.find(id); extra != file.extraTableBytes.end()) body.Bytes(extra->second);
    pdta.Chunk(id, body.Get());
}

}  // namespace

TestSfFile MakeSoundFontFile(const TestSoundFont& font) {
    TestSfFile file;
    SoundFontTables& t = file.tables;
    for (const TestSfSample& sample : font.samples) {
        SfSampleHeader header;
        header.name = ToName(sample.name);
        header.start = static_cast<uint32_t>(file.points.size());
        header.end = header.start + static_cast<uint32_t>(sample.pcm.size());
        header.startLoop = header.start + sample.loopStart;
        header.endLoop = header.start + sample.loopEnd;
        header.sampleRate = sample.sampleRate;
        header.originalPitch = sample.originalPitch;
        header.pitchCorrection = sample.pitchCorrection;
        header.sampleType = sample.sampleType;
        if (!sample.ogg.empty()) {
            header.start = static_cast<uint32_t>(2 * file.points.size());
            header.end = header.start + static_cast<uint32_t>(sample.ogg.size());
            header.startLoop = sample.loopStart;
            header.endLoop = sample.loopEnd;
            header.sampleType |= kSampleTypeCompressed;
            // The stream's bytes as points, little-endian, the last one padded.
            for (std::size_t i = 0; i < sample.ogg.size(); i += 2) {
                const uint8_t high = i + 1 < sample.ogg.size() ? sample.ogg[i + 1] : 0;
                file.points.push_back(static_cast<int16_t>(sample.ogg[i] | high << 8));
            }
            t.shdr.records.push_back(header);
            continue;
        }
        t.shdr.records.push_back(header);
        file.points.insert(file.points.end(), sample.pcm.begin(), sample.pcm.end());
        file.points.insert(file.points.end(), 46, 0);
    }
    SfSampleHeader eos;
    eos.name = ToName("EOS");
    t.shdr.records.push_back(eos);
    t.shdr.present = true;

    for (const TestSfInstrument& instrument : font.instruments) {
        t.inst.records.push_back({ToName(instrument.name), static_cast<uint16_t>(t.ibag.records.size())});
        AddZones<SfInstrumentHeader>(instrument.zones, t.ibag, t.igen, t.imod);
    }
    t.inst.records.push_back({ToName("EOI"), static_cast<uint16_t>(t.ibag.records.size())});
    t.inst.present = true;
    CloseZoneTables(t.ibag, t.igen, t.imod);

    for (const TestSfPreset& preset : font.presets) {
        SfPresetHeader header;
        header.name = ToName(preset.name);
        header.preset = preset.preset;
        header.bank = preset.bank;
        header.bagIndex = static_cast<uint16_t>(t.pbag.records.size());
        t.phdr.records.push_back(header);
        AddZones<SfPresetHeader>(preset.zones, t.pbag, t.pgen, t.pmod);
    }
    SfPresetHeader eop;
    eop.name = ToName("EOP");
    eop.bagIndex = static_cast<uint16_t>(t.pbag.records.size());
    t.phdr.records.push_back(eop);
    t.phdr.present = true;
    CloseZoneTables(t.pbag, t.pgen, t.pmod);
    return file;
}

std::vector<uint8_t> SerializeSoundFont(const TestSfFile& file) {
    ByteBuilder info;
    info.Text("INFO").Chunk("ifil", {2, 0, 1, 0}).Chunk("isng", {'E', 'M', 'U', '8', '0', '0', '0', 0});
    if (file.oddInfoChunk) info.Chunk("INAM", {'O', 'd', 'd', 0, 'x'});
    else info.Chunk("INAM", {'T', 'e', 's', 't', 0, 0});

    ByteBuilder smpl;
    for (int16_t v : file.points) smpl.S16(v);
    ByteBuilder sdta;
    sdta.Text("sdta").Chunk(file.sdtaFirstChunk, smpl.Get());
    for (const auto& [id, body] : file.extraSdtaChunks) sdta.Chunk(id, body);

    ByteBuilder pdta;
    pdta.Text("pdta");
    const SoundFontTables& t = file.tables;
    PutTable(pdta, file, "phdr", t.phdr);
    PutTable(pdta, file, "pbag", t.pbag);
    PutTable(pdta, file, "pmod", t.pmod);
    PutTable(pdta, file, "pgen", t.pgen);
    PutTable(pdta, file, "inst", t.inst);
    PutTable(pdta, file, "ibag", t.ibag);
    PutTable(pdta, file, "imod", t.imod);
    PutTable(pdta, file, "igen", t.igen);
    PutTable(pdta, file, "shdr", t.shdr);
    for (const auto& [id, body] : file.extraPdtaChunks) pdta.Chunk(id, body);

    ByteBuilder body;
    body.Text("sfbk");
    if (file.withInfo) body.Chunk("LIST", info.Get());
    const auto& first = file.pdtaFirst ? pdta : sdta;
    const auto& second = file.pdtaFirst ? sdta : pdta;
    body.Chunk("LIST", first.Get());
    if (file.junkBetweenLists) body.Chunk("junk", {1, 2, 3});
    body.Chunk("LIST", second.Get());

    ByteBuilder riff;
    riff.Text("RIFF").U32(static_cast<uint32_t>(body.Get().size())).Bytes(body.Get());
    return riff.Take();
}

}  // namespace kbn::test
