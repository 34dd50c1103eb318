#include "stream/ScratchStreamOut.h"

#include <gtest/gtest.h>

#include <numeric>
#include <stdexcept>
#include <vector>

#include "codec/SampleEncoder.h"
#include "stream/MemoryStream.h"
#include "tests/codec/SignalGenerator.h"

namespace kbn {
namespace {

std::vector<uint8_t> BytesOf(const CScratchStreamOut& out) { return {out.Bytes().begin(), out.Bytes().end()}; }

// Writes `count` bytes counting up from `first`, through an area of `room`.
void FillArea(CScratchStreamOut& out, std::size_t room, std::size_t count, uint8_t first) {
    const std::span<uint8_t> area = out.OpenArea(room);
    ASSERT_EQ(area.size(), room);
    std::iota(area.begin(), area.begin() + static_cast<std::ptrdiff_t>(count), first);
    out.CloseArea(count);
}

// Small writes and areas of every size, growing the memory on the way: the
// bytes before each growth stay, and the room an area gives beyond what is
// kept is not kept.
TEST(ScratchStreamOut, KeepsWhatWasWrittenAcrossGrowth) {
    struct Step {
        std::size_t write;  // bytes written with Write, then
        std::size_t room;   // an area of this room
        std::size_t used;   // of which this much is kept
    };
    const std::vector<Step> steps = {{3, 0, 0}, {0, 1, 1}, {10, 100, 40}, {1, 5000, 5000}, {0, 70000, 3}, {7, 2, 0}};
    CScratchStreamOut out;
    std::vector<uint8_t> expected;
    uint8_t next = 0;
    for (const Step& step : steps) {
        std::vector<uint8_t> written(step.write);
        for (uint8_t& b : written) b = next++;
        out.Write(written.data(), static_cast<uint32_t>(written.size()));
        expected.insert(expected.end(), written.begin(), written.end());
        FillArea(out, step.room, step.used, next);
        for (std::size_t i = 0; i < step.used; ++i) expected.push_back(next++);
        ASSERT_EQ(BytesOf(out), expected) << "after writing " << step.write << " and keeping " << step.used;
    }
}

TEST(ScratchStreamOut, ClearKeepsTheMemoryAndReleaseGivesItBack) {
    CScratchStreamOut out;
    FillArea(out, 4096, 4096, 1);
    const uint8_t* memory = out.Bytes().data();
    out.Clear();
    EXPECT_TRUE(out.Bytes().empty());
    FillArea(out, 4096, 10, 9);
    EXPECT_EQ(out.Bytes().data(), memory);
    EXPECT_EQ(BytesOf(out), (std::vector<uint8_t>{9, 10, 11, 12, 13, 14, 15, 16, 17, 18}));
    out.Release();
    EXPECT_TRUE(out.Bytes().empty());
    FillArea(out, 3, 2, 5);
    EXPECT_EQ(BytesOf(out), (std::vector<uint8_t>{5, 6}));
}

TEST(ScratchStreamOut, KeepingMoreThanTheAreaIsAnError) {
    CScratchStreamOut out;
    out.OpenArea(8);
    EXPECT_THROW(out.CloseArea(9), std::logic_error);
}

// The encoder writes the same stream into it as into a memory stream, item
// after item in the same memory, larger and smaller.
TEST(ScratchStreamOut, HoldsTheEncodersStreamsOneAfterAnother) {
    CScratchStreamOut reused;
    for (const auto& [signal, length] : {std::pair{test::Signal::Noise, 5000}, {test::Signal::Sine, 100000},
                                         {test::Signal::Extremes, 33}, {test::Signal::Silence, 0},
                                         {test::Signal::QuietNoise, 70000}}) {
        const std::vector<int16_t> pcm = test::MakeSignal(signal, static_cast<std::size_t>(length));
        CMemoryStreamOut expected;
        EncodeSample(expected, pcm.data(), length);
        reused.Clear();
        EncodeSample(reused, pcm.data(), length);
        EXPECT_EQ(BytesOf(reused), expected.Bytes()) << test::SignalName(signal) << " " << length;
    }
}

}  // namespace
}  // namespace kbn
