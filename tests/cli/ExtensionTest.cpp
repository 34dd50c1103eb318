#include "cli/Extension.h"

#include <gtest/gtest.h>

namespace kbn {
namespace {

struct ExtensionCase {
    const char* path;
    const char* extension;
};

class Extension : public testing::TestWithParam<ExtensionCase> {};

TEST_P(Extension, IsTheLowerCasedTailOfTheLastComponent) {
    EXPECT_EQ(GetExtension(GetParam().path), GetParam().extension) << GetParam().path;
}

INSTANTIATE_TEST_SUITE_P(
    Paths, Extension,
    testing::Values(ExtensionCase{"in.wav", "wav"}, ExtensionCase{"IN.WAV", "wav"}, ExtensionCase{"Out.KbN", "kbn"},
                    ExtensionCase{"in", ""}, ExtensionCase{"in.", ""}, ExtensionCase{"", ""},
                    ExtensionCase{"a.b.sf2", "sf2"}, ExtensionCase{"dir.old\\in", ""},
                    ExtensionCase{"dir.old/in", ""}, ExtensionCase{"C:in.sf2", "sf2"}, ExtensionCase{"C:.x\\y", ""},
                    ExtensionCase{"/tmp/x.y/.kbn", "kbn"}, ExtensionCase{"in.kbnx", "kbnx"},
                    ExtensionCase{"in.\xC4WAV", "\xC4wav"}));

TEST(Extension, IsCutTo254CharactersAfterTheDot) {
    const std::string path = "x." + std::string(300, 'A');
    EXPECT_EQ(GetExtension(path), std::string(254, 'a'));
}

}  // namespace
}  // namespace kbn
