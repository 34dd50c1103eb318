#include "driver/Options.h"

#include <gtest/gtest.h>

namespace kbn {
namespace {

struct OptionsCase {
    const char* name;
    std::vector<const char*> args;  // without the program name
    bool valid;
    bool verify;
    Verbosity verbosity;
    std::vector<std::string> paths;
};

class KbnconvOptionParsing : public testing::TestWithParam<OptionsCase> {};

TEST_P(KbnconvOptionParsing, SeparatesOptionsFromPaths) {
    std::vector<const char*> argv = {"kbnconv"};
    argv.insert(argv.end(), GetParam().args.begin(), GetParam().args.end());
    std::string error;
    const auto options = ParseKbnconvOptions(static_cast<int>(argv.size()), argv.data(), error);
    ASSERT_EQ(options.has_value(), GetParam().valid) << error;
    if (!options) return;
    EXPECT_EQ(options->verify, GetParam().verify);
    EXPECT_EQ(options->verbosity, GetParam().verbosity);
    EXPECT_EQ(options->paths, GetParam().paths);
}

TEST(KbnconvOptionParsing, ThreadCountsInEverySpelling) {
    struct Case {
        std::vector<const char*> args;
        unsigned threads;  // 0: refused
    };
    for (const Case& c : {Case{{"-j", "3"}, 3}, Case{{"-j4"}, 4}, Case{{"--jobs", "2"}, 2}, Case{{"--jobs=16"}, 16},
                          Case{{"a", "b"}, 0u + 0}, Case{{"-j", "0"}, 0}, Case{{"-j"}, 0}, Case{{"-jx"}, 0},
                          Case{{"--jobs=300"}, 0}, Case{{"-j", "2x"}, 0}}) {
        std::vector<const char*> argv = {"kbnconv"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        std::string error;
        const auto options = ParseKbnconvOptions(static_cast<int>(argv.size()), argv.data(), error);
        const bool plain = c.args.size() == 2 && std::string(c.args[0]) == "a";
        if (plain) {
            ASSERT_TRUE(options);
            EXPECT_EQ(options->threads, 0u);  // not given: one per core
        } else if (c.threads == 0) {
            EXPECT_FALSE(options) << c.args[0];
            EXPECT_EQ(error, "-j takes a number of threads from 1 to 256");
        } else {
            ASSERT_TRUE(options) << error;
            EXPECT_EQ(options->threads, c.threads);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, KbnconvOptionParsing,
    testing::Values(
        OptionsCase{"PathsOnly", {"a.sf2", "b.kbn"}, true, false, Verbosity::Normal, {"a.sf2", "b.kbn"}},
        OptionsCase{"OptionsFirst", {"--verify", "-v", "a.sf2", "b.kbn"}, true, true, Verbosity::Verbose, {"a.sf2", "b.kbn"}},
        OptionsCase{"OptionsBetweenAndAfter", {"a.sf2", "-q", "b.kbn", "--verify"}, true, true, Verbosity::Quiet, {"a.sf2", "b.kbn"}},
        OptionsCase{"LastVerbosityWins", {"-v", "-q", "a", "b"}, true, false, Verbosity::Quiet, {"a", "b"}},
        OptionsCase{"DoubleDashEndsOptions", {"--", "-in.wav", "--verify"}, true, false, Verbosity::Normal, {"-in.wav", "--verify"}},
        OptionsCase{"LoneDashIsAPath", {"-", "b.kbn"}, true, false, Verbosity::Normal, {"-", "b.kbn"}},
        OptionsCase{"ExtraPathsKept", {"a", "b", "c"}, true, false, Verbosity::Normal, {"a", "b", "c"}},
        OptionsCase{"UnknownOption", {"-x", "a", "b"}, false, false, Verbosity::Normal, {}},
        OptionsCase{"UnknownLongOption", {"a", "b", "--fast"}, false, false, Verbosity::Normal, {}}),
    [](const testing::TestParamInfo<OptionsCase>& tested) { return std::string(tested.param.name); });

}  // namespace
}  // namespace kbn
