#include "codec/BitWriter.h"

#include <gtest/gtest.h>

#include <random>

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
                        const uint32_t width = random() % 33;
                        const uint32_t value = static_cast<uint32_t>(random());
                        writer.WriteBits(value, width);
                        for (uint32_t i = 0; i < width; ++i) expected.push_back((value >> i) & 1);
                        break;
                    }
                    case 1: {
                        const uint64_t zeros = random() % 4 == 0 ? random() % 300 : random() % 9;
                        writer.WriteZeros(zeros);
                        expected.insert(expected.end(), zeros, false);
                        break;
                    }
                    default: {
                        const uint32_t k = random() % 16;
                        const uint32_t code = random() % 8 == 0 ? 65537 : random() % (1u << (random() % 17));
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
    for (uint32_t i = 0; i < 300000; ++i) {
        writer.WriteBits(i & 0xFF, 8);
        for (int b = 0; b < 8; ++b) expected.push_back((i >> b) & 1);
    }
    writer.Finish();
    EXPECT_EQ(out.Bytes(), Pack(expected));
}

}  // namespace
}  // namespace kbn
