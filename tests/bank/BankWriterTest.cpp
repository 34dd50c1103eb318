#include "bank/BankWriter.h"

#include <gtest/gtest.h>

#include "stream/MemoryStream.h"
#include "tests/support/ByteBuilder.h"

namespace kbn {
namespace {

// Samples without PCM: the bank's records alone.
class CNoPcm final : public CSamplePcmSource {
public:
    std::span<const int16_t> Read(uint32_t, CScratchBuffer<int16_t>&) const override { return {}; }
    uint64_t PcmBytes(uint32_t) const override { return 0; }
    bool ReadsConcurrently() const override { return true; }
};

// Every field in the layout's order and width: the sample record (its
// length the PCM's), a zone's generators and modulators, the instrument and
// preset headers, a name of exactly 20 bytes without a NUL.
TEST(BankWriter, WritesEveryFieldInLayoutOrder) {
    BankContents contents;
    SampleRecord record;
    record.name = MakeName("Piano C4");
    record.length = 99;
    record.loopStart = 5;
    record.loopEnd = 0xFFFFFFF6;
    record.sampleRate = 44100;
    record.rootKey = 60;
    record.pitchCorrection = -12;
    record.flags = kSampleFlagPresent | kSampleFlagRom;
    contents.bank.samples.push_back({record});
    BankZone zone;
    zone.generators = {{8, static_cast<uint16_t>(-500)}, {1, 0}};
    zone.modulators = {{0x0502, 9, -960, 0, 0}};
    contents.bank.instruments.push_back({0, MakeName("a name of exactly 20"), {zone}});
    contents.bank.presets.push_back({0, MakeName("p"), 5, 1, {}});
    contents.pcm = std::make_shared<CNoPcm>();
    CMemoryStreamOut out;
    WriteBank(out, contents, 1);

    test::ByteBuilder expected;
    expected.Text("KBN-").U32(1);
    expected.Name("Piano C4").U32(0).U32(5).U32(0xFFFFFFF6).U32(44100).U8(60).U8(0xF4).U8(0x05).Zeros(5);
    expected.U16(32).U32(6).U32(0).U8(0);  // the empty stream: 6 bits of block header
    expected.U32(1).Text("a name of exactly 20").U32(1);
    expected.U16(2).U16(8).U16(0xFE0C).U16(1).U16(0).U32(1).U16(0x0502).U16(9).S16(-960).U16(0).U16(0);
    expected.U32(1).Name("p").U16(5).U16(1).U32(0);
    EXPECT_EQ(out.Bytes(), expected.Get());
    EXPECT_EQ(contents.bank.samples[0].record.length, 0u);
}

}  // namespace
}  // namespace kbn
