#include "import/SoundFontConverter.h"

#include <gtest/gtest.h>

#include "reader/BankReader.h"
#include "stream/Error.h"
#include "stream/MemoryStream.h"
#include "tests/support/ByteBuilder.h"
#include "tests/support/SoundFontBuilder.h"

namespace kbn {
namespace {

std::vector<uint8_t> Convert(const std::vector<uint8_t>& sf2) {
    CMemoryStreamIn in(sf2);
    CMemoryStreamOut out;
    ConvertSoundFont(in, out);
    return out.Bytes();
}

struct Converted {
    std::vector<uint8_t> bytes;
    Bank bank;

    std::vector<int16_t> Pcm(uint32_t index) const {
        CMemoryStreamIn in(bytes);
        return ReadSamplePcm(in, bank.samples.at(index), index);
    }
};

Converted ConvertAndRead(const test::TestSoundFont& font) {
    Converted result;
    result.bytes = Convert(test::BuildSoundFont(font));
    CMemoryStreamIn in(result.bytes);
    result.bank = ReadBank(in);
    return result;
}

test::TestSfZone Zone(std::vector<SfGenerator> generators, std::vector<ModulatorRecord> modulators = {}) {
    return test::TestSfZone{std::move(generators), std::move(modulators)};
}

TEST(SoundFontConverter, OneSampleFontIsTheDocumentedBank) {
    test::TestSoundFont font;
    font.samples.push_back({"s", {1, 2, 3}, 1, 2, 8000, 60, 0, 1});
    font.instruments.push_back({"i", {Zone({{17, 100}, {53, 0}})}});
    font.presets.push_back({"p", 5, 1, {Zone({{41, 0}})}});
    test::ByteBuilder expected;
    expected.Text("KBN-").U32(1).Name("s").U32(3).U32(1).U32(2).U32(8000).U8(60).U8(0).U8(0x01).Zeros(5);
    expected.Bytes({0x20, 0x00, 0x0B, 0, 0, 0, 0, 0, 0, 0, 0x02, 0x07});
    expected.U32(1).Name("i").U32(1).U16(2).U16(8).U16(100).U16(1).U16(0).U32(0);
    expected.U32(1).Name("p").U16(5).U16(1).U32(1).U16(1).U16(52).U16(0).U32(0);
    EXPECT_EQ(Convert(test::BuildSoundFont(font)), expected.Get());
}

TEST(SoundFontConverter, SampleRecordsComeFromTheirHeaders) {
    test::TestSoundFont font;
    std::vector<int16_t> first(54), second(50);
    for (std::size_t i = 0; i < first.size(); ++i) first[i] = static_cast<int16_t>(i);
    for (std::size_t i = 0; i < second.size(); ++i) second[i] = static_cast<int16_t>(1000 - 3 * i);
    font.samples.push_back({"ram", first, 0, 54, 22050, 72, -5, 0x0004});  // left channel of a stereo pair
    // 54 points and 46 zeros put this one at start 100: PCM from 8 + 200.
    font.samples.push_back({"rom", second, 10, 40, 44100, 60, 3, 0x8001});
    font.instruments.push_back({"i", {Zone({{53, 1}})}});
    const Converted c = ConvertAndRead(font);
    ASSERT_EQ(c.bank.samples.size(), 2u);  // the terminal header is not a sample
    const SampleRecord& ram = c.bank.samples[0].record;
    EXPECT_EQ(ram.flags, 0x01);
    EXPECT_EQ(ram.rootKey, 72);
    EXPECT_EQ(ram.pitchCorrection, -5);
    EXPECT_EQ(ram.sampleRate, 22050u);
    const SampleRecord& rom = c.bank.samples[1].record;
    EXPECT_EQ(rom.flags, 0x05);
    EXPECT_EQ(rom.length, 50u);
    EXPECT_EQ(rom.loopStart, 10u);
    EXPECT_EQ(rom.loopEnd, 40u);
    EXPECT_EQ(c.Pcm(0), first);
    EXPECT_EQ(c.Pcm(1), second);
}

TEST(SoundFontConverter, LoopPointsBeforeTheStartWrapAround) {
    test::TestSfFile file = test::MakeSoundFontFile([] {
        test::TestSoundFont font;
        font.samples.push_back({"a", std::vector<int16_t>(20, 5)});
        font.samples.push_back({"b", std::vector<int16_t>(20, 6)});
        return font;
    }());
    SfSampleHeader& b = file.tables.shdr.records[1];  // starts at 66
    b.startLoop = 0;
    b.endLoop = 10;
    const std::vector<uint8_t> bytes = Convert(test::SerializeSoundFont(file));
    CMemoryStreamIn in(bytes);
    const Bank bank = ReadBank(in);
    EXPECT_EQ(bank.samples[1].record.loopStart, uint32_t(0) - 66u);
    EXPECT_EQ(bank.samples[1].record.loopEnd, uint32_t(10) - 66u);
}

TEST(SoundFontConverter, ZonesKeepTheSourceOrderAndDropUnlistedGenerators) {
    test::TestSoundFont font;
    font.samples.push_back({"s", {1, 2}});
    const ModulatorRecord modulator{0x0502, 48, -960, 0x0102, 2};
    font.instruments.push_back({"global+one", {Zone({{17, 0xFFCE}}), Zone({{43, 0x3C24}, {53, 0}, {8, 9000}}, {modulator, {0x0502, 0x8000, 1, 0, 0}})}});
    font.instruments.push_back({"empty", {}});
    font.instruments.push_back({"unlisted", {Zone({{14, 1}, {42, 2}})}});
    font.presets.push_back({"p", 0, 0, {Zone({{41, 2}})}});
    const Converted c = ConvertAndRead(font);
    ASSERT_EQ(c.bank.instruments.size(), 3u);

    const auto& zones = c.bank.instruments[0].zones;
    ASSERT_EQ(zones.size(), 2u);
    // The global zone is a zone like any other.
    ASSERT_EQ(zones[0].generators.size(), 1u);
    EXPECT_EQ(zones[0].generators[0].id, 8);
    EXPECT_EQ(zones[0].generators[0].amount, 0xFFCE);
    // keyRange, sampleID, initialFilterFc in source order, amounts unchanged.
    ASSERT_EQ(zones[1].generators.size(), 3u);
    EXPECT_EQ(zones[1].generators[0].id, 2);
    EXPECT_EQ(zones[1].generators[0].amount, 0x3C24);
    EXPECT_EQ(zones[1].generators[1].id, 1);
    EXPECT_EQ(zones[1].generators[2].id, 14);
    ASSERT_EQ(zones[1].modulators.size(), 2u);
    EXPECT_EQ(zones[1].modulators[0].destination, 9);       // initialAttenuation, renumbered
    EXPECT_EQ(zones[1].modulators[1].destination, 0x8000);  // a link stays
    EXPECT_EQ(zones[1].modulators[0].amount, -960);
    EXPECT_EQ(zones[1].modulators[0].amountSource, 0x0102);
    EXPECT_EQ(zones[1].modulators[0].transform, 2);

    EXPECT_TRUE(c.bank.instruments[1].zones.empty());  // equal bag indexes: no zone
    ASSERT_EQ(c.bank.instruments[2].zones.size(), 1u);
    EXPECT_TRUE(c.bank.instruments[2].zones[0].generators.empty());  // 14 and 42 have no bank id

    const auto& preset = c.bank.presets.at(0).zones.at(0).generators;
    ASSERT_EQ(preset.size(), 1u);
    EXPECT_EQ(preset[0].id, 52);
    EXPECT_EQ(preset[0].amount, 2);
}

TEST(SoundFontConverter, AZoneMayHoldMoreThan128Generators) {
    test::TestSoundFont font;
    std::vector<SfGenerator> many;
    for (uint16_t i = 0; i < 300; ++i) many.push_back({17, i});
    font.instruments.push_back({"many", {Zone(many)}});
    const Converted c = ConvertAndRead(font);
    const auto& generators = c.bank.instruments.at(0).zones.at(0).generators;
    ASSERT_EQ(generators.size(), 300u);
    EXPECT_EQ(generators[299].amount, 299);
}

// Broken files: each is refused before anything is written, with a message
// that names the record.
struct BrokenCase {
    const char* name;
    void (*spoil)(test::TestSfFile&);
    const char* message;
};

test::TestSoundFont BrokenBase() {
    test::TestSoundFont font;
    font.samples.push_back({"Piano C4", std::vector<int16_t>(100, 1)});
    font.samples.push_back({"Piano D4", std::vector<int16_t>(100, 2)});
    font.instruments.push_back({"Piano", {Zone({{53, 0}}), Zone({{53, 1}}, {{0x0502, 48, 1, 0, 0}})}});
    font.instruments.push_back({"Organ", {Zone({{53, 1}})}});
    font.presets.push_back({"Grand", 0, 0, {Zone({{41, 0}})}});
    return font;
}

class BrokenSoundFont : public testing::TestWithParam<BrokenCase> {};

TEST_P(BrokenSoundFont, IsRefusedWithAMessageNamingTheRecord) {
    test::TestSfFile file = test::MakeSoundFontFile(BrokenBase());
    GetParam().spoil(file);
    const std::vector<uint8_t> bytes = test::SerializeSoundFont(file);
    CMemoryStreamIn in(bytes);
    CMemoryStreamOut out;
    try {
        ConvertSoundFont(in, out);
        FAIL() << "accepted";
    } catch (const CError& e) {
        EXPECT_EQ(std::string(e.what()), GetParam().message);
    }
    EXPECT_TRUE(out.Bytes().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BrokenSoundFont,
    testing::Values(
        BrokenCase{"MissingTable", [](test::TestSfFile& f) { f.tables.igen.present = false; },
                   "the 'pdta' list has no 'igen' chunk"},
        BrokenCase{"EmptyTable", [](test::TestSfFile& f) { f.tables.pbag.records.clear(); },
                   "the 'pbag' table is empty; it needs at least its terminal record"},
        BrokenCase{"BagIndexPastTable", [](test::TestSfFile& f) { f.tables.inst.records[2].bagIndex = 40; },
                   "instrument 1 \"Organ\" points past the end of the zone table (zone index 40, 'ibag' holds 4 "
                   "records)"},
        BrokenCase{"BagIndexBackwards", [](test::TestSfFile& f) { f.tables.inst.records[2].bagIndex = 1; },
                   "instrument 1 \"Organ\" has its zone index going backwards (2, then 1)"},
        BrokenCase{"PresetBagPastTable", [](test::TestSfFile& f) { f.tables.phdr.records[1].bagIndex = 9; },
                   "preset 0 \"Grand\" points past the end of the zone table (zone index 9, 'pbag' holds 2 "
                   "records)"},
        BrokenCase{"GeneratorIndexPastTable", [](test::TestSfFile& f) { f.tables.ibag.records[3].generatorIndex = 99; },
                   "instrument 1 \"Organ\" zone 0 points past the end of the generator table (index 99, 'igen' "
                   "holds 4 records)"},
        BrokenCase{"GeneratorIndexBackwards", [](test::TestSfFile& f) { f.tables.ibag.records[2].generatorIndex = 0; },
                   "instrument 0 \"Piano\" zone 1 has its generator index going backwards (1, then 0)"},
        BrokenCase{"ModulatorIndexPastTable", [](test::TestSfFile& f) { f.tables.pbag.records[1].modulatorIndex = 7; },
                   "preset 0 \"Grand\" zone 0 points past the end of the modulator table (index 7, 'pmod' holds 1 "
                   "records)"},
        BrokenCase{"NoSuchSample", [](test::TestSfFile& f) { f.tables.igen.records[2].amount = 60000; },
                   "instrument 1 \"Organ\" zone 0 uses sample 60000, but the bank has 2 samples"},
        BrokenCase{"NoSuchInstrument", [](test::TestSfFile& f) { f.tables.pgen.records[0].amount = 2; },
                   "preset 0 \"Grand\" zone 0 uses instrument 2, but the bank has 2 instruments"},
        BrokenCase{"SampleEndsBeforeStart", [](test::TestSfFile& f) { f.tables.shdr.records[1].end = 10; },
                   "sample 1 \"Piano D4\" ends before it starts (start 146, end 10)"},
        BrokenCase{"SamplePastData", [](test::TestSfFile& f) { f.tables.shdr.records[1].end = 5000; },
                   "sample 1 \"Piano D4\" ends past the sample data (end 5000, the 'smpl' chunk holds 292 points)"},
        BrokenCase{"CompressedPastData",
                   [](test::TestSfFile& f) {
                       f.tables.shdr.records[0].sampleType = 0x0011;
                       f.tables.shdr.records[0].end = 585;
                   },
                   "sample 0 \"Piano C4\" has its Ogg Vorbis stream at bytes 0 to 585, outside the 584 bytes of the "
                   "'smpl' chunk"},
        BrokenCase{"IndexIntoAnEmptyTable", [](test::TestSfFile& f) { f.tables.pgen.records.clear(); },
                   "preset 0 \"Grand\" zone 0 points past the end of the generator table (index 1, 'pgen' holds 0 "
                   "records)"},
        BrokenCase{"SdtaWithoutSmpl", [](test::TestSfFile& f) { f.sdtaFirstChunk = "sm24"; },
                   "the 'sdta' list begins with a 'sm24' chunk, not 'smpl'"}),
    [](const testing::TestParamInfo<BrokenCase>& tested) { return std::string(tested.param.name); });

// A generator or modulator table without even its terminal record, every
// index into it 0, converts as the same table holding its terminal record.
template <typename Record>
void Empty(SfTable<Record>& table, SfTable<SfBag>& bags, uint16_t SfBag::*index, bool terminal) {
    table.records.assign(terminal ? 1 : 0, Record{});
    for (SfBag& bag : bags.records) bag.*index = 0;
}

using EmptyTable = void (*)(test::TestSfFile&, bool terminal);

class EmptyOptionalTable : public testing::TestWithParam<EmptyTable> {};

TEST_P(EmptyOptionalTable, HoldsNoRecords) {
    test::TestSfFile file = test::MakeSoundFontFile(BrokenBase());
    GetParam()(file, true);
    const std::vector<uint8_t> withTerminal = Convert(test::SerializeSoundFont(file));
    GetParam()(file, false);
    EXPECT_EQ(Convert(test::SerializeSoundFont(file)), withTerminal);
}

INSTANTIATE_TEST_SUITE_P(
    Tables, EmptyOptionalTable,
    testing::Values([](test::TestSfFile& f, bool terminal) { Empty(f.tables.pmod, f.tables.pbag, &SfBag::modulatorIndex, terminal); },
                    [](test::TestSfFile& f, bool terminal) { Empty(f.tables.pgen, f.tables.pbag, &SfBag::generatorIndex, terminal); },
                    [](test::TestSfFile& f, bool terminal) { Empty(f.tables.imod, f.tables.ibag, &SfBag::modulatorIndex, terminal); },
                    [](test::TestSfFile& f, bool terminal) { Empty(f.tables.igen, f.tables.ibag, &SfBag::generatorIndex, terminal); }),
    [](const testing::TestParamInfo<EmptyTable>& tested) { return std::string(std::array{"pmod", "pgen", "imod", "igen"}[tested.index]); });

// 49 sample points: an "sm24" chunk holds 49 bytes, rounded up to 50.
class SampleLowBytes : public testing::TestWithParam<std::tuple<std::string, std::size_t, uint32_t>> {};

TEST_P(SampleLowBytes, GiveTheSourceDepthAndLeaveTheBankAsItIs) {
    const auto& [id, size, sourceBits] = GetParam();
    test::TestSoundFont font;
    font.samples.push_back({"s", {1, -2, 3}});
    test::TestSfFile file = test::MakeSoundFontFile(font);
    const std::vector<uint8_t> without = Convert(test::SerializeSoundFont(file));
    file.extraSdtaChunks.push_back({id, std::vector<uint8_t>(size, 0x7F)});
    const std::vector<uint8_t> bytes = test::SerializeSoundFont(file);
    CMemoryStreamIn in(bytes);
    CMemoryStreamOut out;
    ConvertedBank converted;
    ConvertSoundFont(in, out, &converted);
    EXPECT_EQ(converted.sourceBitsPerSample, sourceBits);
    EXPECT_EQ(out.Bytes(), without);
}

INSTANTIATE_TEST_SUITE_P(Cases, SampleLowBytes,
                         testing::Values(std::tuple("sm24", 50, 24u), std::tuple("sm24", 49, 24u),
                                         std::tuple("sm24", 24, 16u), std::tuple("xtra", 50, 16u)));

// Hand-made files whose RIFF framing is broken.
TEST(SoundFontConverter, BrokenFramingIsRefused) {
    struct Framing {
        std::vector<uint8_t> bytes;
        std::string message;
    };
    test::ByteBuilder shortList;
    shortList.Text("RIFF").U32(12).Text("sfbk").Text("LIST").U32(2).U16(0);
    test::ByteBuilder longList;
    longList.Text("RIFF").U32(20).Text("sfbk").Text("LIST").U32(5000).Text("pdta");
    test::ByteBuilder notSoundFont;
    notSoundFont.Text("RIFF").U32(4).Text("WAVE");
    test::ByteBuilder chunkPastList;
    chunkPastList.Text("RIFF").U32(24).Text("sfbk").Text("LIST").U32(12).Text("pdta").Text("shdr").U32(100);
    test::ByteBuilder noPdta;
    noPdta.Text("RIFF").U32(16).Text("sfbk").List("INFO", {});
    for (const Framing& framing : {
             Framing{shortList.Get(), "the LIST chunk at offset 12 is 2 bytes, too short for its list type"},
             Framing{longList.Get(), "the LIST chunk at offset 12 promises 5000 bytes but only 4 remain in the file"},
             Framing{notSoundFont.Get(), "not a SoundFont file: no RIFF 'sfbk' header"},
             Framing{chunkPastList.Get(),
                     "the 'shdr' chunk at offset 24 promises 100 bytes but its 'pdta' list holds only 0 more"},
             Framing{noPdta.Get(), "the file has no 'pdta' list"},
         }) {
        CMemoryStreamIn in(framing.bytes);
        CMemoryStreamOut out;
        try {
            ConvertSoundFont(in, out);
            ADD_FAILURE() << "accepted: " << framing.message;
        } catch (const CError& e) {
            EXPECT_EQ(std::string(e.what()), framing.message);
        }
        EXPECT_TRUE(out.Bytes().empty());
    }
}

}  // namespace
}  // namespace kbn
