// A bank made from a WAV file, rebuilt as a SoundFont, plays in FluidSynth
// as the WAV said: no generator discarded, the loop still sounding a second
// past the sample's end, and a silent channel panned apart staying silent.
#include <gtest/gtest.h>

#include <cmath>

#include "stream/ByteOrder.h"
#include "tests/codec/SignalGenerator.h"
#include "tests/support/MidiFile.h"
#include "tests/support/RunProgram.h"
#include "tests/support/TempDir.h"
#include "tests/support/WavBuilder.h"

namespace kbn {
namespace {

constexpr uint32_t kRate = 44100;

class RebuiltWavBank : public testing::TestWithParam<uint16_t> {};

TEST_P(RebuiltWavBank, PlaysItsLoopAndPanInFluidSynth) {
    const uint16_t channels = GetParam();
    test::TempDir dir;
    test::TestWav wav;
    wav.channels = channels;
    wav.sampleRate = kRate;
    // Half a second of sine, looped after its first 1000 frames; in stereo
    // the right channel is silent.
    for (const int16_t value : test::MakeSignal(test::Signal::Sine, kRate / 2)) {
        wav.pcm.push_back(value);
        if (channels == 2) wav.pcm.push_back(0);
    }
    wav.sampler.emplace().loops = {{1000, kRate / 2 - 1}};
    test::WriteFileBytes(dir / "in.wav", test::BuildWav(wav));
    test::WriteFileBytes(dir / "note.mid", test::MakeHeldNote(60, 2000));
    ASSERT_EQ(test::RunProgram({test::KbnconvPath(), dir / "in.wav", dir / "t.kbn"}).status, 0);
    ASSERT_EQ(test::RunProgram({test::KbndumpPath(), "--sf2", dir / "t.sf2", dir / "t.kbn"}).status, 0);

    const test::ProgramResult render =
        test::RunProgram({"/usr/bin/fluidsynth", "-ni", "-R", "0", "-C", "0", "-r", std::to_string(kRate), "-T",
                          "raw", "-O", "s16", "-F", dir / "render.raw", dir / "t.sf2", dir / "note.mid"});
    ASSERT_EQ(render.status, 0) << "fluidsynth is needed (Debian package fluidsynth): " << render.err;
    EXPECT_EQ((render.out + render.err).find("discarded"), std::string::npos) << render.out << render.err;

    const std::vector<uint8_t> raw = test::ReadFileBytes(dir / "render.raw");
    const std::size_t frames = raw.size() / 4;  // 16-bit stereo
    ASSERT_GT(frames, kRate * 16 / 10);
    double sum = 0;
    for (std::size_t i = kRate * 15 / 10; i < kRate * 16 / 10; ++i) sum += std::pow(GetS16(raw.data() + 4 * i), 2);
    EXPECT_GT(std::sqrt(sum / (kRate / 10)), 100.0) << "the loop fell silent";
    if (channels == 2) {
        int right = 0;
        for (std::size_t i = 0; i < frames; ++i) right = std::max(right, std::abs(GetS16(raw.data() + 4 * i + 2)));
        EXPECT_EQ(right, 0) << "the silent channel sounds";
    }
}

INSTANTIATE_TEST_SUITE_P(Channels, RebuiltWavBank, testing::Values(1, 2),
                         [](const testing::TestParamInfo<uint16_t>& tested) {
                             return tested.param == 1 ? std::string("Mono") : std::string("Stereo");
                         });

}  // namespace
}  // namespace kbn
