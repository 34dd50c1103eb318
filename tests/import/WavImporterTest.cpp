#include "import/WavImporter.h"

#include <gtest/gtest.h>

#include "reader/BankReader.h"
#include "stream/MemoryStream.h"
#include "tests/support/ByteBuilder.h"
#include "tests/support/WavBuilder.h"

namespace kbn {
namespace {

std::vector<uint8_t> Convert(const std::vector<uint8_t>& wav) {
    CMemoryStreamIn in(wav);
    CMemoryStreamOut out;
    ConvertWav(in, out);
    return out.Bytes();
}

Bank ConvertAndRead(const test::TestWav& wav) {
    const std::vector<uint8_t> bank = Convert(test::BuildWav(wav));
    CMemoryStreamIn in(bank);
    return ReadBank(in);
}

std::vector<int16_t> Pcm(const std::vector<uint8_t>& bankBytes, const Bank& bank, uint32_t index) {
    CMemoryStreamIn in(bankBytes);
    return ReadSamplePcm(in, bank.samples[index], index);
}

std::vector<int16_t> Ramp(std::size_t frames) {
    std::vector<int16_t> pcm(frames);
    for (std::size_t i = 0; i < frames; ++i) pcm[i] = static_cast<int16_t>(i * 3 - 500);
    return pcm;
}

TEST(WavImporter, MonoOneTwoThreeIsTheDocumentedBank) {
    test::TestWav wav;
    wav.sampleRate = 8000;
    wav.pcm = {1, 2, 3};
    test::ByteBuilder expected;
    expected.Text("KBN-").U32(1).Name("sample").U32(3).U32(0).U32(3).U32(8000);
    expected.U8(0x3C).U8(0).U8(0x01).Zeros(5);
    expected.Bytes({0x20, 0x00, 0x0B, 0, 0, 0, 0, 0, 0, 0, 0x02, 0x07});
    expected.U32(1).Name("sample").U32(1).U16(2).U32(0x00000001).U32(0x00000006).U32(0);
    expected.U32(1).Name("sample").U16(0).U16(0).U32(1).U16(1).U32(0x00000034).U32(0);
    const std::vector<uint8_t> bank = Convert(test::BuildWav(wav));
    EXPECT_EQ(bank.size(), 148u);
    EXPECT_EQ(bank, expected.Get());
}

struct SamplerCase {
    const char* name;
    std::optional<test::TestWavSampler> sampler;
    uint8_t rootKey;
    uint32_t loopStart, loopEnd;
    uint16_t sampleMode;
};

class WavSampler : public testing::TestWithParam<SamplerCase> {};

TEST_P(WavSampler, SetsRootKeyLoopAndSampleMode) {
    test::TestWav wav;
    wav.pcm = Ramp(1000);
    wav.sampler = GetParam().sampler;
    const Bank bank = ConvertAndRead(wav);
    ASSERT_EQ(bank.samples.size(), 1u);
    const SampleRecord& record = bank.samples[0].record;
    EXPECT_EQ(record.rootKey, GetParam().rootKey);
    EXPECT_EQ(record.loopStart, GetParam().loopStart);
    EXPECT_EQ(record.loopEnd, GetParam().loopEnd);
    EXPECT_EQ(record.flags, kSampleFlagPresent);
    const std::vector<GeneratorEntry>& zone = bank.instruments.at(0).zones.at(0).generators;
    ASSERT_EQ(zone.size(), 2u);
    EXPECT_EQ(zone[0].id, kGenSampleId);
    EXPECT_EQ(zone[1].id, kGenSampleModes);
    EXPECT_EQ(zone[1].amount, GetParam().sampleMode);
}

test::TestWavSampler Sampler(uint32_t unity, std::vector<test::TestWavLoop> loops) {
    test::TestWavSampler sampler;
    sampler.unityNote = unity;
    sampler.loops = std::move(loops);
    return sampler;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WavSampler,
    testing::Values(SamplerCase{"NoSmpl", std::nullopt, 60, 0, 1000, 0},
                    SamplerCase{"OneLoop", Sampler(64, {{100, 199}}), 64, 100, 200, 1},
                    SamplerCase{"TwoLoopsTakeTheFirst", Sampler(64, {{100, 199}, {5, 6}}), 64, 100, 200, 1},
                    SamplerCase{"NoLoops", Sampler(70, {}), 70, 0, 1000, 0},
                    SamplerCase{"UnityNoteLowByte", Sampler(300, {}), 44, 0, 1000, 0}),
    [](const testing::TestParamInfo<SamplerCase>& tested) { return std::string(tested.param.name); });

TEST(WavImporter, SmplAfterDataIsStillUsed) {
    test::TestWav wav;
    wav.pcm = Ramp(300);
    wav.sampler = Sampler(50, {{10, 19}});
    wav.samplerAfterData = true;
    const Bank bank = ConvertAndRead(wav);
    EXPECT_EQ(bank.samples[0].record.rootKey, 50);
    EXPECT_EQ(bank.samples[0].record.loopEnd, 20u);
}

TEST(WavImporter, StereoBecomesTwoPannedSamples) {
    test::TestWav wav;
    wav.channels = 2;
    std::vector<int16_t> left = Ramp(777), right(777);
    for (std::size_t i = 0; i < right.size(); ++i) right[i] = static_cast<int16_t>(-7 * static_cast<int>(i));
    for (std::size_t i = 0; i < left.size(); ++i) {
        wav.pcm.push_back(left[i]);
        wav.pcm.push_back(right[i]);
    }
    const std::vector<uint8_t> bytes = Convert(test::BuildWav(wav));
    CMemoryStreamIn in(bytes);
    const Bank bank = ReadBank(in);
    ASSERT_EQ(bank.samples.size(), 2u);
    for (const BankSample& sample : bank.samples) {
        EXPECT_EQ(sample.record.flags, kSampleFlagPresent | kSampleFlagStereo);
        EXPECT_EQ(sample.record.length, 777u);
    }
    EXPECT_EQ(Pcm(bytes, bank, 0), left);
    EXPECT_EQ(Pcm(bytes, bank, 1), right);
    const auto& zones = bank.instruments.at(0).zones;
    ASSERT_EQ(zones.size(), 2u);
    EXPECT_EQ(zones[0].generators.at(2).id, kGenPan);
    EXPECT_EQ(static_cast<int16_t>(zones[0].generators[2].amount), -500);
    EXPECT_EQ(zones[1].generators.at(0).amount, 1);  // the right channel's sample
    EXPECT_EQ(static_cast<int16_t>(zones[1].generators.at(2).amount), 500);
}

TEST(WavImporter, ChunksOfOddSizeAreFollowedByTheirPadByte) {
    test::TestWav wav;
    wav.pcm = Ramp(100);
    wav.chunksBeforeData.push_back({"LIST", test::OddInfoList()});
    wav.chunksAfterData.push_back({"note", {'x'}});
    wav.sampler = Sampler(61, {});
    wav.samplerAfterData = true;
    const std::vector<uint8_t> bytes = Convert(test::BuildWav(wav));
    CMemoryStreamIn in(bytes);
    const Bank bank = ReadBank(in);
    EXPECT_EQ(Pcm(bytes, bank, 0), wav.pcm);
    EXPECT_EQ(bank.samples[0].record.rootKey, 61);
}

TEST(WavImporter, ARiffSizeBeyondTheFileEndsTheWalkAtTheEnd) {
    test::TestWav wav;
    wav.pcm = Ramp(10);
    wav.riffSizeOverride = 1000000;
    EXPECT_EQ(ConvertAndRead(wav).samples.at(0).record.length, 10u);
}

TEST(WavImporter, WithoutDataEverySampleIsEmpty) {
    test::TestWav wav;
    wav.withData = false;
    const Bank bank = ConvertAndRead(wav);
    ASSERT_EQ(bank.samples.size(), 1u);
    EXPECT_EQ(bank.samples[0].record.length, 0u);
    EXPECT_EQ(bank.samples[0].packedSize, 1u);
}

// Files the importer must refuse, with the words the message must hold.
struct RejectCase {
    const char* name;
    test::TestWav wav;
    bool unsupportedFormat;  // CWavLoadException rather than another source error
    const char* message;
};

test::TestWav With(void (*change)(test::TestWav&)) {
    test::TestWav wav;
    wav.pcm = {1, 2, 3, 4};
    change(wav);
    return wav;
}

constexpr const char* kOnly = " (only 16-bit PCM with 1 or 2 channels is supported)";

class WavRejected : public testing::TestWithParam<RejectCase> {};

TEST_P(WavRejected, WithAMessageAndNothingWritten) {
    const std::vector<uint8_t> file = test::BuildWav(GetParam().wav);
    CMemoryStreamIn in(file);
    CMemoryStreamOut out;
    try {
        ConvertWav(in, out);
        FAIL() << "accepted";
    } catch (const CWavLoadException& e) {
        EXPECT_TRUE(GetParam().unsupportedFormat) << e.what();
        EXPECT_EQ(std::string(e.what()), std::string(GetParam().message) + kOnly);
    } catch (const CError& e) {
        EXPECT_FALSE(GetParam().unsupportedFormat) << e.what();
        EXPECT_EQ(std::string(e.what()), GetParam().message);
    }
    EXPECT_TRUE(out.Bytes().empty());
    CMemoryStreamIn again(file);
    if (GetParam().unsupportedFormat) {
        EXPECT_FALSE(TryConvertWav(again, out));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WavRejected,
    testing::Values(
        RejectCase{"EightBit", With([](test::TestWav& w) { w.bitsPerSample = 8; }), true,
                   "unsupported WAV format: PCM, 8-bit, 1 channel"},
        RejectCase{"TwentyFourBit", With([](test::TestWav& w) { w.bitsPerSample = 24; w.channels = 2; }), true,
                   "unsupported WAV format: PCM, 24-bit, 2 channels"},
        RejectCase{"Float", With([](test::TestWav& w) { w.formatTag = 3; w.bitsPerSample = 32; }), true,
                   "unsupported WAV format: IEEE float, 32-bit, 1 channel"},
        RejectCase{"ThreeChannels", With([](test::TestWav& w) { w.channels = 3; }), true,
                   "unsupported WAV format: PCM, 16-bit, 3 channels"},
        RejectCase{"NoFmt", With([](test::TestWav& w) { w.withFmt = false; }), true,
                   "unsupported WAV format: the file has no 'fmt ' chunk"},
        RejectCase{"ShortFmt", With([](test::TestWav& w) { w.fmtSize = 14; }), true,
                   "unsupported WAV format: the 'fmt ' chunk is 14 bytes, shorter than 16"},
        RejectCase{"BlockAlignZero", With([](test::TestWav& w) { w.blockAlign = 0; }), true,
                   "unsupported WAV format: PCM, 16-bit, 1 channel with a block align of 0 bytes"},
        RejectCase{"BlockAlignWrong", With([](test::TestWav& w) { w.blockAlign = 4; }), true,
                   "unsupported WAV format: PCM, 16-bit, 1 channel with a block align of 4 bytes"},
        RejectCase{"NotWave", With([](test::TestWav& w) { w.form = "AVI "; }), false,
                   "not a WAV file: the RIFF form is 'AVI ', not 'WAVE'"},
        RejectCase{"DataPastTheEnd", With([](test::TestWav& w) { w.dataSizeOverride = 4000; }), false,
                   "the 'data' chunk at offset 36 promises 4000 bytes but only 8 remain in the file"},
        RejectCase{"SmplShorterThanItsHeader",
                   With([](test::TestWav& w) { w.sampler = test::TestWavSampler{}; w.sampler->sizeOverride = 20; }),
                   false, "the 'smpl' chunk is 20 bytes, shorter than its 36-byte header"},
        RejectCase{"SmplWithoutItsFirstLoop",
                   With([](test::TestWav& w) { w.sampler = test::TestWavSampler{}; w.sampler->loopCountOverride = 2; }),
                   false, "the 'smpl' chunk promises 2 loops but is only 36 bytes, too short for the first one"}),
    [](const testing::TestParamInfo<RejectCase>& tested) { return std::string(tested.param.name); });

// The extensible format with the standard GUID of format `subFormat`.
struct ExtensibleCase {
    const char* name;
    uint16_t channels, containerBits, validBits, subFormat;
    uint32_t fmtSize;
    const char* error;  // nullptr: the same bank as with format 1
};

class WavExtensible : public testing::TestWithParam<ExtensibleCase> {};

TEST_P(WavExtensible, IsPcmOnlyWithThePcmSubFormatAt16Bits) {
    const ExtensibleCase& c = GetParam();
    test::TestWav plain;
    plain.channels = c.channels;
    plain.pcm = Ramp(200);
    test::TestWav extensible = plain;
    extensible.formatTag = 0xFFFE;
    extensible.bitsPerSample = c.containerBits;
    extensible.fmtSize = c.fmtSize;
    test::ByteBuilder extension;  // its size, the valid bits, a channel mask, the GUID
    extension.U16(22).U16(c.validBits).U32(3).U16(c.subFormat);
    extensible.fmtExtension = extension.Bytes({0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71}).Take();
    if (!c.error) {
        EXPECT_EQ(Convert(test::BuildWav(extensible)), Convert(test::BuildWav(plain)));
        return;
    }
    try {
        Convert(test::BuildWav(extensible));
        FAIL() << "accepted";
    } catch (const CWavLoadException& e) {
        EXPECT_EQ(std::string(e.what()), std::string("unsupported WAV format: ") + c.error + kOnly);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WavExtensible,
    testing::Values(ExtensibleCase{"PcmMono", 1, 16, 16, 1, 40, nullptr},
                    ExtensibleCase{"PcmStereo", 2, 16, 16, 1, 40, nullptr},
                    ExtensibleCase{"Float", 1, 32, 32, 3, 40, "IEEE float, 32-bit, 1 channel"},
                    ExtensibleCase{"Pcm24", 2, 24, 24, 1, 40, "PCM, 24-bit, 2 channels"},
                    ExtensibleCase{"Pcm24In32", 2, 32, 24, 1, 40, "PCM, 24-bit in 32-bit containers, 2 channels"},
                    ExtensibleCase{"ChunkTooShort", 1, 16, 16, 1, 18,
                                   "the 'fmt ' chunk is 18 bytes, shorter than the extensible format's 40"}),
    [](const testing::TestParamInfo<ExtensibleCase>& tested) { return std::string(tested.param.name); });

TEST(WavImporter, ShortFilesAreNotWavFiles) {
    const std::vector<uint8_t> rifx = {'R', 'I', 'F', 'X', 4, 0, 0, 0, 'W', 'A', 'V', 'E'};
    for (const std::vector<uint8_t>& file : {std::vector<uint8_t>{}, std::vector<uint8_t>{'R', 'I', 'F', 'F', 0}, rifx}) {
        CMemoryStreamIn in(file);
        CMemoryStreamOut out;
        EXPECT_THROW(ConvertWav(in, out), CError);
        EXPECT_TRUE(out.Bytes().empty());
    }
}

}  // namespace
}  // namespace kbn
