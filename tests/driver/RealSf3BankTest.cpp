// The SF3 banks of Debian's musescore-general-soundfont-small and
// fluidr3mono-gm-soundfont packages: converted, verified and tested, and a
// SoundFont rebuilt from the bank plays in FluidSynth as the SF3 does.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>

#include "stream/ByteOrder.h"
#include "tests/support/MidiFile.h"
#include "tests/support/RunProgram.h"
#include "tests/support/TempDir.h"

namespace kbn {
namespace {

const std::string kMuseScoreLite = KBN_MUSESCORE_LITE_SF3;
const std::string kFluidR3Mono = KBN_FLUIDR3_MONO_SF3;

class RealSf3Bank : public testing::Test {
protected:
    test::ProgramResult Run(const std::string& program, std::vector<std::string> args) {
        return test::RunProgramIn(dir_.Path().string(), program, std::move(args));
    }
    // Converts with --verify on two threads, and tests the bank.
    void ConvertAndTest(const std::string& sf3, const std::string& bank, const std::string& counts) {
        ASSERT_TRUE(std::filesystem::exists(sf3)) << sf3 << " is missing: install its Debian package";
        test::ProgramResult r = Run(test::KbnconvPath(), {"--verify", "-v", "-j", "2", sf3, bank});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.err.find(": " + counts + ", "), std::string::npos) << r.err;
        EXPECT_TRUE(r.err.ends_with(", verified\n")) << r.err;
        r = Run(test::KbndumpPath(), {"--test", bank});
        EXPECT_EQ(r.status, 0) << r.err;
    }
    test::TempDir dir_;
};

std::vector<int16_t> RenderValues(const std::vector<uint8_t>& raw) {
    std::vector<int16_t> values(raw.size() / 2);
    for (std::size_t i = 0; i < values.size(); ++i) values[i] = GetS16(raw.data() + 2 * i);
    return values;
}

TEST_F(RealSf3Bank, FluidR3MonoConvertsAndVerifies) {
    ConvertAndTest(kFluidR3Mono, "mono.kbn", "1037 samples, 203 instruments, 197 presets");
}

// FluidSynth decodes Vorbis through libsndfile, which scales by 32767 where
// libvorbisfile scales by 32768: the samples differ by one step here and
// there, and the renders by no more than that rounding.
TEST_F(RealSf3Bank, MuseScoreLiteRendersAsTheSf3Does) {
    ConvertAndTest(kMuseScoreLite, "lite.kbn", "1254 samples, 205 instruments, 311 presets");
    ASSERT_EQ(Run(test::KbndumpPath(), {"--sf2", "rebuilt.sf2", "lite.kbn"}).status, 0);
    test::WriteFileBytes(dir_ / "song.mid", test::MakeTestSong());
    for (const auto& [font, render] : {std::pair{kMuseScoreLite, std::string("sf3.raw")},
                                       std::pair{dir_ / "rebuilt.sf2", std::string("rebuilt.raw")}}) {
        const test::ProgramResult r = Run("/usr/bin/fluidsynth", {"-ni", "-g", "0.5", "-r", "44100", "-T", "raw",
                                                                  "-O", "s16", "-F", render, font, "song.mid"});
        ASSERT_EQ(r.status, 0) << "fluidsynth is needed (Debian package fluidsynth): " << r.err;
    }
    const std::vector<int16_t> original = RenderValues(test::ReadFileBytes(dir_ / "sf3.raw"));
    const std::vector<int16_t> rebuilt = RenderValues(test::ReadFileBytes(dir_ / "rebuilt.raw"));
    ASSERT_EQ(original.size(), rebuilt.size());
    ASSERT_GT(original.size(), 44100u * 2);  // a few seconds of sound
    double signal = 0, difference = 0;
    int largest = 0;
    for (std::size_t i = 0; i < original.size(); ++i) {
        const int d = original[i] - rebuilt[i];
        largest = std::max(largest, std::abs(d));
        signal += static_cast<double>(original[i]) * original[i];
        difference += static_cast<double>(d) * d;
    }
    const double level = 10 * std::log10(std::max(difference, 1.0) / signal);
    EXPECT_LE(level, -60.0) << "largest difference " << largest;
    std::printf("renders of %zu values: largest difference %d, level %.1f dB below the signal\n", original.size(),
                largest, -level);
}

}  // namespace
}  // namespace kbn
