#include "tests/codec/ReferenceEncoder.h"

#include <cstdint>

namespace kbn::test {
namespace {

class SlowBitWriter {
public:
    void WriteBits(uint32_t value, uint32_t width) {
        for (uint32_t i = 0; i < width; ++i) WriteBit((value >> i) & 1);
    }
    void WriteBit(uint32_t bit) {
        if (bits_ % 8 == 0) bytes_.push_back(0);
        bytes_.back() = static_cast<uint8_t>(bytes_.back() | (bit << (bits_ % 8)));
        ++bits_;
    }
    uint64_t Bits() const { return bits_; }
    std::vector<uint8_t> Bytes() const {
        std::vector<uint8_t> bytes = bytes_;
        if (bits_ % 8 == 0) bytes.push_back(0);  // the whole zero byte after a full last byte
        return bytes;
    }

private:
    std::vector<uint8_t> bytes_;
    uint64_t bits_ = 0;
};

uint32_t Code(int16_t v) { return v >= 0 ? 2u * static_cast<uint32_t>(v) : static_cast<uint32_t>(1 - 2 * int32_t{v}); }

}  // namespace

uint32_t RiceCost(const int16_t* residuals, uint32_t n, uint32_t k) {
    uint32_t cost = n * (k + 1);
    for (uint32_t i = 0; i < n; ++i) cost += Code(residuals[i]) >> k;
    return cost;
}

BlockCoding ExhaustiveCoding(const int16_t* const (&rows)[kPredictorOrders], uint32_t n) {
    BlockCoding best{0, 0, UINT32_MAX};
    for (uint32_t p = 0; p < kPredictorOrders; ++p) {
        for (uint32_t k = 0; k < kRiceParameters; ++k) {
            const uint32_t cost = RiceCost(rows[p], n, k);
            if (cost < best.cost) best = BlockCoding{p, k, cost};
        }
    }
    return best;
}

std::vector<uint8_t> ReferenceEncode(const std::vector<int16_t>& samples) {
    SlowBitWriter writer;
    int16_t h[3] = {0, 0, 0};
    const std::size_t count = samples.size();
    for (std::size_t start = 0;; start += 32) {
        const std::size_t n = count - start < 32 ? count - start : 32;
        int16_t rows[4][32] = {};
        for (std::size_t i = 0; i < n; ++i) rows[0][i] = samples[start + i];
        for (int p = 1; p < 4; ++p) {
            for (std::size_t i = 0; i < n; ++i) {
                const int16_t before = i == 0 ? h[p - 1] : rows[p - 1][i - 1];
                rows[p][i] = static_cast<int16_t>(rows[p - 1][i] - before);
            }
        }
        if (n > 0) {
            for (int p = 0; p < 3; ++p) h[p] = rows[p][n - 1];
        }
        const int16_t* const rowsOf[kPredictorOrders] = {rows[0], rows[1], rows[2], rows[3]};
        const BlockCoding best = ExhaustiveCoding(rowsOf, static_cast<uint32_t>(n));
        const uint32_t bestP = best.order, bestK = best.riceParameter;
        writer.WriteBits(bestP, 2);
        writer.WriteBits(bestK, 4);
        for (std::size_t i = 0; i < n; ++i) {
            const uint32_t u = Code(rows[bestP][i]);
            writer.WriteBits(u, bestK);
            for (uint32_t z = 0; z < (u >> bestK); ++z) writer.WriteBits(0, 1);
            writer.WriteBits(1, 1);
        }
        if (n < 32) break;
    }
    std::vector<uint8_t> stream = {32, 0};
    for (int i = 0; i < 8; ++i) stream.push_back(static_cast<uint8_t>(writer.Bits() >> (8 * i)));
    const std::vector<uint8_t> bytes = writer.Bytes();
    stream.insert(stream.end(), bytes.begin(), bytes.end());
    return stream;
}

}  // namespace kbn::test
