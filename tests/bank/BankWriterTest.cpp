#include "bank/BankWriter.h"

#include <gtest/gtest.h>

#include "stream/MemoryStream.h"
#include "tests/support/ByteBuilder.h"

namespace kbn {
namespace {

TEST(BankWriter, SampleRecordIsFortyFourBytesInFieldOrder) {
    SampleRecord record;
    record.name = MakeName("Piano C4");
    record.length = 0x01020304;
    record.loopStart = 5;
    record.loopEnd = 0xFFFFFFF6;
    record.sampleRate = 44100;
    record.rootKey = 60;
    record.pitchCorrection = -12;
    record.flags = kSampleFlagPresent | kSampleFlagRom;
    CMemoryStreamOut out;
    WriteSampleRecord(out, record);
    test::ByteBuilder expected;
    expected.Name("Piano C4").U32(0x01020304).U32(5).U32(0xFFFFFFF6).U32(44100);
    expected.U8(60).U8(0xF4).U8(0x05).Zeros(5);
    EXPECT_EQ(out.Bytes(), expected.Get());
    EXPECT_EQ(out.Bytes().size(), kSampleRecordSize);
}

TEST(BankWriter, ZoneIsGeneratorListThenModulators) {
    const GeneratorEntry generators[] = {{8, static_cast<uint16_t>(-500)}, {1, 3}};
    const ModulatorRecord modulators[] = {{0x0502, 9, -960, 0, 0}};
    CMemoryStreamOut out;
    WriteZoneRecord(out, generators, modulators);
    test::ByteBuilder expected;
    expected.U16(2).U16(8).U16(0xFE0C).U16(1).U16(3).U32(1);
    expected.U16(0x0502).U16(9).S16(-960).U16(0).U16(0);
    EXPECT_EQ(out.Bytes(), expected.Get());
}

TEST(BankWriter, HeadersAndNames) {
    CMemoryStreamOut out;
    WriteMagic(out);
    WriteInstrumentHeader(out, MakeName("a name of exactly 20"), 7);
    WritePresetHeader(out, MakeName("p"), 5, 1, 2);
    test::ByteBuilder expected;
    expected.Text("KBN-").Text("a name of exactly 20").U32(7);
    expected.Name("p").U16(5).U16(1).U32(2);
    EXPECT_EQ(out.Bytes(), expected.Get());
}

}  // namespace
}  // namespace kbn
