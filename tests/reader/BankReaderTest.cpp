#include "reader/BankReader.h"

#include <gtest/gtest.h>

#include "import/SoundFontConverter.h"
#include "stream/ByteOrder.h"
#include "stream/MemoryStream.h"
#include "tests/codec/SignalGenerator.h"
#include "tests/support/SoundFontBuilder.h"

namespace kbn {
namespace {

// A bank with two samples, two instruments and a preset, modulators included.
std::vector<uint8_t> SampleBank() {
    test::TestSoundFont font;
    font.samples.push_back({"sine", test::MakeSignal(test::Signal::Sine, 500)});
    font.samples.push_back({"noise", test::MakeSignal(test::Signal::Noise, 77)});
    font.instruments.push_back({"a", {test::TestSfZone{{{17, 5}, {53, 0}}, {{0x0502, 48, 1, 0, 0}}}}});
    font.instruments.push_back({"b", {test::TestSfZone{{{53, 1}}, {}}}});
    font.presets.push_back({"p", 1, 2, {test::TestSfZone{{{41, 1}}, {}}}});
    const std::vector<uint8_t> sf2 = test::BuildSoundFont(font);
    CMemoryStreamIn in(sf2);
    CMemoryStreamOut out;
    ConvertSoundFont(in, out);
    return out.Bytes();
}

Bank Read(const std::vector<uint8_t>& bytes) {
    CMemoryStreamIn in(bytes);
    return ReadBank(in);
}

std::string Refusal(const std::vector<uint8_t>& bytes) {
    try {
        Read(bytes);
    } catch (const CError& e) {
        return e.what();
    }
    return "accepted";
}

TEST(BankReader, ReadsEveryRecordWithItsOffset) {
    const std::vector<uint8_t> bytes = SampleBank();
    const Bank bank = Read(bytes);
    ASSERT_EQ(bank.samples.size(), 2u);
    EXPECT_EQ(bank.samples[0].recordOffset, 8u);
    EXPECT_EQ(bank.samples[0].streamOffset, 8u + 44u);
    EXPECT_EQ(bank.samples[1].recordOffset, bank.samples[0].packedOffset + bank.samples[0].packedSize);
    EXPECT_EQ(bank.samples[1].record.length, 77u);
    ASSERT_EQ(bank.instruments.size(), 2u);
    EXPECT_EQ(bank.instruments[0].zones[0].modulators.at(0).destination, 9);
    ASSERT_EQ(bank.presets.size(), 1u);
    EXPECT_EQ(bank.presets[0].preset, 1);
    EXPECT_EQ(bank.presets[0].bank, 2);
    CMemoryStreamIn in(bytes);
    EXPECT_EQ(ReadSamplePcm(in, bank.samples[1], 1), test::MakeSignal(test::Signal::Noise, 77));
}

TEST(BankReader, EveryTruncationIsRefused) {
    const std::vector<uint8_t> bytes = SampleBank();
    for (std::size_t size = 0; size < bytes.size(); ++size) {
        const std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<long>(size));
        EXPECT_NE(Refusal(cut), "accepted") << "cut to " << size;
    }
}

struct Damage {
    const char* name;
    void (*apply)(std::vector<uint8_t>&);
    const char* message;
};

class DamagedBank : public testing::TestWithParam<Damage> {};

TEST_P(DamagedBank, IsRefusedNamingTheItemAndOffset) {
    std::vector<uint8_t> bytes = SampleBank();
    GetParam().apply(bytes);
    const std::string refusal = Refusal(bytes);
    EXPECT_EQ(refusal.rfind(GetParam().message, 0), 0u) << refusal;
}

TEST(BankReader, TrailingBytesAreRefused) {
    std::vector<uint8_t> bytes = SampleBank();
    const std::size_t end = bytes.size();
    bytes.push_back(0);
    EXPECT_EQ(Refusal(bytes), "offset " + std::to_string(end) + ": 1 bytes follow the preset section");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DamagedBank,
    testing::Values(
        Damage{"Magic", [](std::vector<uint8_t>& b) { b[3] = '+'; }, "offset 0: not a KBN bank (no \"KBN-\" magic)"},
        Damage{"SampleCountBeyondTheFile", [](std::vector<uint8_t>& b) { PutU32(b.data() + 4, 0x40000000); },
               "offset 4: the sample count 1073741824 needs at least 59055800320 bytes but only "},
        Damage{"BlockSize", [](std::vector<uint8_t>& b) { b[52] = 16; },
               "offset 52: sample 0 \"sine\" has block size 16, not 32"},
        Damage{"Flags", [](std::vector<uint8_t>& b) { b[8 + 38] = 0x02; },
               "offset 46: sample 0 \"sine\" has flags 0x02, which no bank holds"},
        Damage{"Reserved", [](std::vector<uint8_t>& b) { b[8 + 40] = 1; },
               "offset 47: sample 0 \"sine\" has non-zero reserved bytes"},
        Damage{"TooFewBits", [](std::vector<uint8_t>& b) { PutU64(b.data() + 54, 10); },
               "offset 54: sample 0 \"sine\" has 10 bits, fewer than its 500 samples need (596)"}),
    [](const testing::TestParamInfo<Damage>& tested) { return std::string(tested.param.name); });

TEST(BankReader, MessagesCarryOffsetsPastTheFirstRecord) {
    std::vector<uint8_t> bytes = SampleBank();
    Bank bank = Read(bytes);
    // A generator id outside 1-52 in instrument 0's zone.
    const uint64_t zone = bank.instruments[0].zones[0].offset;
    PutU16(bytes.data() + zone + 2, 53);
    EXPECT_EQ(Refusal(bytes), "offset " + std::to_string(zone + 2) +
                                  ": instrument 0 \"a\" zone 0 has generator id 53, outside 1-52");
}

TEST(BankReader, ABitCountOneOffIsCaughtByTheDecoder) {
    std::vector<uint8_t> bytes = SampleBank();
    const Bank bank = Read(bytes);
    const BankSample& sample = bank.samples[0];
    // Keep the byte length consistent so that only the decoder can notice.
    const uint64_t bits = sample.bitCount + 1;
    ASSERT_EQ(bits / 8, sample.bitCount / 8);
    PutU64(bytes.data() + sample.streamOffset + 2, bits);
    const Bank damaged = Read(bytes);
    CMemoryStreamIn in(bytes);
    try {
        ReadSamplePcm(in, damaged.samples[0], 0);
        FAIL();
    } catch (const CError& e) {
        EXPECT_NE(std::string(e.what()).find("offset 52: sample 0 \"sine\""), std::string::npos) << e.what();
    }
}

}  // namespace
}  // namespace kbn
