// Banks whose counts promise gigabytes: the reader refuses each at once,
// naming the count and its offset, and allocates nothing near the promise.
// A stream that claims more samples than its blocks hold is refused by the
// decoder with no more memory than the file's bits can stand for.
#include <gtest/gtest.h>

#include <algorithm>

#include "import/WavImporter.h"
#include "reader/BankReader.h"
#include "stream/ByteOrder.h"
#include "stream/MemoryStream.h"
#include "tests/support/AllocationWatch.h"
#include "tests/support/WavBuilder.h"

namespace kbn {
namespace {

using Bytes = std::vector<uint8_t>;

// One sample of 1000 frames, one instrument zone, one preset zone.
struct SmallBank {
    Bytes bytes;
    Bank bank;
};

const SmallBank& Small() {
    static const SmallBank small = [] {
        test::TestWav wav;
        wav.pcm.resize(1000);
        for (std::size_t i = 0; i < wav.pcm.size(); ++i) wav.pcm[i] = static_cast<int16_t>(i * 37 % 2000 - 1000);
        const Bytes file = test::BuildWav(wav);
        CMemoryStreamIn in(file);
        CMemoryStreamOut out;
        ConvertWav(in, out);
        SmallBank result{out.Bytes(), {}};
        CMemoryStreamIn bank(result.bytes);
        result.bank = ReadBank(bank);
        return result;
    }();
    return small;
}

enum class Width { U16, U32, U64 };

struct HostileBankCase {
    const char* name;
    uint64_t (*offset)(const Bank& bank);
    Width width;
    uint64_t value;
    std::string message;
};

void PrintTo(const HostileBankCase& c, std::ostream* os) { *os << c.name; }

class HostileBank : public testing::TestWithParam<HostileBankCase> {};

TEST_P(HostileBank, IsRefusedAtOnceWithoutAllocatingWhatItPromises) {
    const HostileBankCase& c = GetParam();
    Bytes bytes = Small().bytes;
    uint8_t* at = bytes.data() + c.offset(Small().bank);
    switch (c.width) {
        case Width::U16:
            PutU16(at, static_cast<uint16_t>(c.value));
            break;
        case Width::U32:
            PutU32(at, static_cast<uint32_t>(c.value));
            break;
        case Width::U64:
            PutU64(at, c.value);
            break;
    }
    CMemoryStreamIn in(bytes);
    test::AllocationWatch watch;
    try {
        ReadBank(in);
        FAIL() << "accepted";
    } catch (const CError& e) {
        EXPECT_EQ(std::string(e.what()), c.message);
    }
    EXPECT_LE(watch.Largest(), 64u * 1024);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HostileBank,
    testing::Values(
        HostileBankCase{"SampleCountInTheBillions", [](const Bank&) -> uint64_t { return 4; }, Width::U32, 0xFFFFFFFFu,
                        "offset 4: the sample count 4294967295 needs at least 236223201225 bytes but only 917 remain"},
        HostileBankCase{
            "SampleOfBillionsOfFrames", [](const Bank& b) { return b.samples[0].recordOffset + 20; }, Width::U32,
            0xFFFFFFFFu,
            "offset 54: sample 0 \"sample\" has 6227 bits, fewer than its 4294967295 samples need (5100273663)"},
        HostileBankCase{
            "StreamOfExabytes", [](const Bank& b) { return b.samples[0].streamOffset + 2; }, Width::U64,
            uint64_t{1} << 63,
            "offset 62: sample 0 \"sample\" stream of 9223372036854775808 bits runs past the end of the file"},
        HostileBankCase{
            "StreamOfTheLargestBitCount", [](const Bank& b) { return b.samples[0].streamOffset + 2; }, Width::U64,
            UINT64_MAX,
            "offset 62: sample 0 \"sample\" stream of 18446744073709551615 bits runs past the end of the file"},
        HostileBankCase{
            "InstrumentCountInTheBillions", [](const Bank& b) { return b.instruments[0].offset - 4; }, Width::U32,
            0xFFFFFFFFu,
            "offset 841: the instrument count 4294967295 needs at least 103079215080 bytes but only 80 remain"},
        HostileBankCase{
            "ZoneCountInTheBillions", [](const Bank& b) { return b.instruments[0].offset + 20; }, Width::U32,
            0xFFFFFFFFu,
            "offset 865: instrument 0 \"sample\" zone count 4294967295 needs at least 25769803770 bytes but only 56 "
            "remain"},
        HostileBankCase{
            "GeneratorCountAtItsLargest", [](const Bank& b) { return b.instruments[0].zones[0].offset; }, Width::U16,
            0xFFFF,
            "offset 869: instrument 0 \"sample\" zone 0 generator count 65535 needs at least 262140 bytes but only "
            "54 remain"},
        HostileBankCase{
            "ModulatorCountInTheBillions",
            [](const Bank& b) {
                const BankZone& zone = b.instruments[0].zones[0];
                return zone.offset + 2 + 4 * zone.generators.size();
            },
            Width::U32, 0xFFFFFFFFu,
            "offset 879: instrument 0 \"sample\" zone 0 modulator count 4294967295 needs at least 42949672950 bytes "
            "but only 42 remain"},
        HostileBankCase{"PresetCountInTheBillions", [](const Bank& b) { return b.presets[0].offset - 4; }, Width::U32,
                        0x7FFFFFFFu,
                        "offset 883: the preset count 2147483647 needs at least 60129542116 bytes but only 38 remain"}),
    [](const testing::TestParamInfo<HostileBankCase>& tested) { return std::string(tested.param.name); });

// A record that claims as many frames as the stream has bits to spare:
// the reader cannot tell, the decoder refuses it, and the buffer it needed
// stays within what the stream's bits could stand for.
TEST(HostileBank, AStreamClaimingMoreFramesThanItHoldsIsRefusedByTheDecoder) {
    Bytes bytes = Small().bytes;
    const BankSample& sample = Small().bank.samples[0];
    const auto frames = static_cast<uint32_t>(sample.bitCount * 32 / 38 - 32);
    PutU32(bytes.data() + sample.recordOffset + 20, frames);
    CMemoryStreamIn in(bytes);
    test::AllocationWatch watch;
    const Bank bank = ReadBank(in);
    ASSERT_EQ(bank.samples[0].record.length, frames);
    EXPECT_THROW(ReadSamplePcm(in, bank.samples[0], 0), CError);
    EXPECT_LE(watch.Largest(), 2 * frames);
    EXPECT_LE(watch.Largest(), 16 * bytes.size());
}

}  // namespace
}  // namespace kbn
