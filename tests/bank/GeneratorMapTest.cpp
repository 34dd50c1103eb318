#include "bank/GeneratorMap.h"

#include <gtest/gtest.h>

#include <set>

namespace kbn {
namespace {

struct MapRow {
    uint16_t soundFontNumber;
    std::optional<uint16_t> bankId;
};

class GeneratorLookup : public testing::TestWithParam<MapRow> {};

TEST_P(GeneratorLookup, GivesTheBankIdOrNothing) {
    EXPECT_EQ(LookupGenerator(GetParam().soundFontNumber), GetParam().bankId);
}

INSTANTIATE_TEST_SUITE_P(Rows, GeneratorLookup,
                         testing::Values(MapRow{17, 8},            // pan
                                         MapRow{53, 1},            // sampleID
                                         MapRow{41, 52},           // instrument
                                         MapRow{0, 18},            // startAddrsOffset, the first row
                                         MapRow{58, 4},            // overridingRootKey, the last row
                                         MapRow{43, 2},            // keyRange
                                         MapRow{48, 9},            // initialAttenuation
                                         MapRow{14, std::nullopt}, MapRow{18, std::nullopt},
                                         MapRow{19, std::nullopt}, MapRow{20, std::nullopt},
                                         MapRow{42, std::nullopt}, MapRow{49, std::nullopt},
                                         MapRow{55, std::nullopt}, MapRow{59, std::nullopt},
                                         MapRow{60, std::nullopt}, MapRow{61, std::nullopt},
                                         MapRow{0x8001, std::nullopt}, MapRow{0xFFFF, std::nullopt}));

TEST(GeneratorMap, KeepsFiftyTwoGeneratorsNumberedOneToFiftyTwoOnce) {
    std::set<uint16_t> ids;
    int mapped = 0;
    for (uint32_t number = 0; number <= 0xFFFF; ++number) {
        if (const auto id = LookupGenerator(static_cast<uint16_t>(number))) {
            ++mapped;
            ids.insert(*id);
            EXPECT_EQ(SoundFontGeneratorOf(*id), number);
        }
    }
    EXPECT_EQ(mapped, 52);
    EXPECT_EQ(ids.size(), 52u);
    EXPECT_EQ(*ids.begin(), 1);
    EXPECT_EQ(*ids.rbegin(), 52);
    EXPECT_FALSE(SoundFontGeneratorOf(0));
    EXPECT_FALSE(SoundFontGeneratorOf(53));
}

}  // namespace
}  // namespace kbn
