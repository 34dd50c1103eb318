#include "import/SoundFontReader.h"

#include <gtest/gtest.h>

#include "stream/Error.h"
#include "stream/MemoryStream.h"
#include "tests/support/SoundFontBuilder.h"

namespace kbn {
namespace {

test::TestSoundFont SmallFont() {
    test::TestSoundFont font;
    font.samples.push_back({"one", {1, 2, 3}, 1, 2, 8000, 60, 0, 1});
    test::TestSfZone instrumentZone;
    instrumentZone.generators = {{17, 100}, {53, 0}};
    instrumentZone.modulators = {{0x0502, 48, 960, 0, 0}, {0x0102, 0x8000, 10, 0, 0}};
    font.instruments.push_back({"inst", {instrumentZone}});
    test::TestSfZone presetZone;
    presetZone.generators = {{41, 0}};
    font.presets.push_back({"preset", 5, 1, {presetZone}});
    return font;
}

SoundFontTables Read(const std::vector<uint8_t>& bytes) {
    CMemoryStreamIn in(bytes);
    SoundFontTables tables;
    EXPECT_TRUE(ReadSoundFont(in, tables));
    return tables;
}

struct LayoutCase {
    const char* name;
    void (*arrange)(test::TestSfFile&);
};

class SoundFontLayouts : public testing::TestWithParam<LayoutCase> {};

// However the lists are arranged, the same nine tables come out and the
// sample data is found right after the "sdta" list type.
TEST_P(SoundFontLayouts, LoadAllNineTables) {
    test::TestSfFile file = test::MakeSoundFontFile(SmallFont());
    GetParam().arrange(file);
    const std::vector<uint8_t> bytes = test::SerializeSoundFont(file);
    const SoundFontTables tables = Read(bytes);
    EXPECT_EQ(tables.phdr.Count(), 2u);
    EXPECT_EQ(tables.pbag.Count(), 2u);
    EXPECT_EQ(tables.pmod.Count(), 1u);
    EXPECT_EQ(tables.pgen.Count(), 2u);
    EXPECT_EQ(tables.inst.Count(), 2u);
    EXPECT_EQ(tables.ibag.Count(), 2u);
    EXPECT_EQ(tables.imod.Count(), 3u);
    EXPECT_EQ(tables.igen.Count(), 3u);
    EXPECT_EQ(tables.shdr.Count(), 2u);
    ASSERT_TRUE(tables.hasSampleData);
    // The sample data position points at the "smpl" header.
    EXPECT_EQ(std::string(bytes.begin() + static_cast<long>(tables.sampleDataPosition),
                          bytes.begin() + static_cast<long>(tables.sampleDataPosition) + 4),
              "smpl");
    EXPECT_EQ(tables.sampleDataSize, 2u * (3 + 46));
}

INSTANTIATE_TEST_SUITE_P(
    Arrangements, SoundFontLayouts,
    testing::Values(LayoutCase{"InfoSdtaPdta", [](test::TestSfFile&) {}},
                    LayoutCase{"PdtaBeforeSdta", [](test::TestSfFile& f) { f.pdtaFirst = true; }},
                    LayoutCase{"JunkChunkBetweenLists", [](test::TestSfFile& f) { f.junkBetweenLists = true; }},
                    LayoutCase{"OddSizedInfoChunk", [](test::TestSfFile& f) { f.oddInfoChunk = true; }},
                    LayoutCase{"NoInfoList", [](test::TestSfFile& f) { f.withInfo = false; }},
                    LayoutCase{"UnknownPdtaChunk",
                               [](test::TestSfFile& f) { f.extraPdtaChunks.push_back({"xtra", {1, 2, 3}}); }}),
    [](const testing::TestParamInfo<LayoutCase>& tested) { return std::string(tested.param.name); });

TEST(SoundFontReader, SdtaPositionIsTwelveBytesIntoItsList) {
    const std::vector<uint8_t> bytes = test::BuildSoundFont(SmallFont());
    const SoundFontTables tables = Read(bytes);
    const std::string text(bytes.begin(), bytes.end());
    const std::size_t sdta = text.find("sdta");
    ASSERT_NE(sdta, std::string::npos);
    EXPECT_EQ(tables.sampleDataPosition, sdta - 8 + 12);
}

TEST(SoundFontReader, PartialRecordsAreDroppedAndTheirBytesConsumed) {
    test::TestSfFile file = test::MakeSoundFontFile(SmallFont());
    file.extraTableBytes["pgen"] = {0xAA, 0xBB};  // 8 + 2 = 10 bytes: 2 records
    const SoundFontTables tables = Read(test::SerializeSoundFont(file));
    EXPECT_EQ(tables.pgen.Count(), 2u);
    EXPECT_EQ(tables.inst.Count(), 2u);  // the next chunk was read at its place
    EXPECT_EQ(tables.shdr.Count(), 2u);
}

TEST(SoundFontReader, ForeignHeadersLoadNothing) {
    for (const char* head : {"RIFX\4\0\0\0sfbk", "RIFF\4\0\0\0WAVE", "RIFF"}) {
        const std::string text(head, std::string(head).size() == 4 ? 4 : 12);
        const std::vector<uint8_t> bytes(text.begin(), text.end());
        CMemoryStreamIn in(bytes);
        SoundFontTables tables;
        EXPECT_FALSE(ReadSoundFont(in, tables)) << head;
        EXPECT_FALSE(tables.hasPdta);
    }
}

}  // namespace
}  // namespace kbn
