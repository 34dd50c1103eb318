#include "codec/BitWriter.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <stdexcept>

#include "stream/MemoryStream.h"

namespace kbn {
namespace {

// Bits in writing order, packed least significant first, plus the
// trailing partial (or whole zero) byte.
std::vector<uint8_t> Pack(const std::vector<bool>& bits) {
    std::vector<uint8_t> bytes(bits.size() / 8 + 1, 0);
    for (std::size_t i = 0; i < bits.size(); ++i) {
        if (bits[i]) bytes[i / 8] = static_cast<uint8_t>(bytes[i / 8] | (1u << (i % 8)));
    }
    return bytes;
}

TEST(BitWriter, RandomMixOfFieldsZeroRunsAndRiceCodesMatchesBitByBitPacking) {
    std::mt19937 random(3);
    for (int trial = 0; trial < 200; ++trial) {
        CMemoryStreamOut out;
        std::vector<bool> expected;
        {
            CBitWriter writer(out);
            const int operations = 1 + static_cast<int>(random() % 3000);
            for (int op = 0; op < operations; ++op) {
                switch (random() % 3) {
                    case 0: {
                        const auto width = static_cast<uint32_t>(random() % 33);
                        const uint32_t value = static_cast<uint32_t>(random());
                        writer.WriteBits(value, width);
                        for (uint32_t i = 0; i < width; ++i) expected.push_back((value >> i) & 1);
                        break;
                    }
                    case 1: {
                        const uint64_t zeros = random() % 4 == 0 ? random() % 300 : random() % 9;
                        writer.WriteZeros(zeros);
                        expected.insert(expected.end(), static_cast<std::size_t>(zeros), false);
                        break;
                    }
                    default: {
                        const uint32_t k = random() % 16;
                        const auto code = static_cast<uint32_t>(random() % 8 == 0 ? 65537 : random() % (1u << (random() % 17)));
                        writer.WriteRiceCode(code, k);
                        for (uint32_t i = 0; i < k; ++i) expected.push_back((code >> i) & 1);
                        expected.insert(expected.end(), code >> k, false);
                        expected.push_back(true);
                    }
                }
                ASSERT_EQ(writer.BitCount(), expected.size());
            }
            writer.Finish();
        }
        ASSERT_EQ(out.Bytes(), Pack(expected)) << "trial " << trial;
    }
}

TEST(BitWriter, WholeBytesGetATrailingZeroByte) {
    for (uint32_t bits : {0u, 8u, 64u, 128u, 7u, 63u, 65u}) {
        CMemoryStreamOut out;
        CBitWriter writer(out);
        writer.WriteZeros(bits);
        writer.Finish();
        EXPECT_EQ(out.Bytes().size(), bits / 8 + 1) << bits << " bits";
    }
}

TEST(BitWriter, OutputLargerThanOneChunkArrivesInOrder) {
    CMemoryStreamOut out;
    CBitWriter writer(out);
    std::vector<bool> expected;
    for (uint32_t i = 0; i < 700000; ++i) {
        writer.WriteBits(i & 0xFF, 8);
        for (int b = 0; b < 8; ++b) expected.push_back((i >> b) & 1);
    }
    writer.Finish();
    EXPECT_EQ(out.Bytes(), Pack(expected));
}

// A stream with no memory of its own to offer: the writer goes through
// Write, in chunks.
class CWriteOnlyStream final : public CStreamOut {
public:
    void Write(const void* src, uint32_t count) override { inner_.Write(src, count); }
    const std::vector<uint8_t>& Bytes() const { return inner_.Bytes(); }

private:
    CMemoryStreamOut inner_;
};

struct WriterScript {
    const char* name;
    std::function<void(CBitWriter&)> run;
};

std::vector<WriterScript> Scripts() {
    const auto riceCodes = [](uint32_t count, uint32_t k, uint32_t spread) {
        return [=](CBitWriter& writer) {
            std::mt19937 random(count + k);
            std::vector<uint32_t> codes(32);
            for (uint32_t done = 0; done < count; done += 32) {
                for (uint32_t& code : codes) code = static_cast<uint32_t>(random() % spread);
                writer.WriteBits(k, 6);
                writer.WriteRiceCodes(codes.data(), std::min(32u, count - done), k);
            }
        };
    };
    return {
        {"nothing", [](CBitWriter&) {}},
        {"one bit", [](CBitWriter& writer) { writer.WriteBits(1, 1); }},
        {"whole words", [](CBitWriter& writer) { for (int i = 0; i < 5; ++i) writer.WriteBits(0xDEADBEEF, 32); }},
        {"a long zero run", [](CBitWriter& writer) { writer.WriteZeros(100003); writer.WriteBits(1, 1); }},
        {"short codes", riceCodes(4000, 0, 3)},
        {"wide codes past one chunk", riceCodes(400000, 9, 1u << 12)},
        {"codes too long for one append", riceCodes(3000, 1, 200)},
    };
}

// Announcing the bit count lets the bits go straight into a memory stream;
// the bytes must be exactly those written through chunks, after whatever
// the stream held already.
TEST(BitWriter, InPlaceWritingGivesTheBytesOfChunkedWriting) {
    for (const WriterScript& script : Scripts()) {
        CWriteOnlyStream chunked;
        chunked.Write("head", 4);
        uint64_t bitCount = 0;
        {
            CBitWriter writer(chunked);
            script.run(writer);
            bitCount = writer.BitCount();
            writer.Finish();
        }
        CMemoryStreamOut inPlace;
        inPlace.Write("head", 4);
        {
            CBitWriter writer(inPlace, bitCount);
            script.run(writer);
            writer.Finish();
        }
        inPlace.Write("tail", 4);
        std::vector<uint8_t> expected = chunked.Bytes();
        expected.insert(expected.end(), {'t', 'a', 'i', 'l'});
        EXPECT_EQ(inPlace.Bytes(), expected) << script.name;
    }
}

// More bits than announced is a caller's fault: it must end in an error,
// never in writing past the stream's memory (the sanitizer build checks).
TEST(BitWriter, InPlaceWritingRefusesMoreBitsThanAnnounced) {
    for (const WriterScript& script : Scripts()) {
        for (const uint64_t announced : {uint64_t{0}, uint64_t{7}, uint64_t{1000}}) {
            CMemoryStreamOut out;
            CBitWriter writer(out, announced);
            bool refused = false;
            try {
                // Far more than announced, in every kind of write.
                for (int round = 0; round < 3; ++round) {
                    script.run(writer);
                    writer.WriteZeros(70000);
                    for (int i = 0; i < 4000; ++i) writer.WriteBits(0xFFFFFFFF, 32);
                }
            } catch (const std::logic_error&) {
                refused = true;
            }
            EXPECT_TRUE(refused) << script.name << ", " << announced << " bits announced";
        }
    }
}

}  // namespace
}  // namespace kbn
