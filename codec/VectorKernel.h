// What the vector kernels share, written once over a small vector type V
// that each kernel file defines with its own instructions. The file
// defines, before including this, KBN_KERNEL_TARGET (its target attribute:
// every function here carries it, so that nothing compiled for an
// instruction set runs on a processor without it) and KBN_KERNEL_NAMESPACE
// (a namespace of its own for these templates). Included once per kernel
// file, so no include guard.

#include <emmintrin.h>

#include <cstdint>

#include "codec/BitWriter.h"
#include "codec/BlockAnalysis.h"

namespace kbn::KBN_KERNEL_NAMESPACE {

// The four rows of a block (see ResidualRows), V::kLanes residuals to a
// vector, straight from overlapping loads of the samples and the three
// before them: in 16-bit wrapping arithmetic the p-th difference is
// x - x[-1] for p = 1, x - 2 x[-1] + x[-2] for p = 2 and
// x - 3 x[-1] + 3 x[-2] - x[-3] for p = 3, the values that differencing
// the rows one after another gives.
// V: Vec16 (int16 lanes), kLanes, Load(const int16_t*), Sub16(a, b).
template <class V>
using Rows = typename V::Vec16[kPredictorOrders][kSamplesPerBlock / V::kLanes];

template <class V>
KBN_KERNEL_TARGET inline void DifferenceRows(const int16_t* block, Rows<V>& rows) {
    for (uint32_t j = 0; j < kSamplesPerBlock / V::kLanes; ++j) {
        const int16_t* at = block + V::kLanes * j;
        const auto x0 = V::Load(at), x1 = V::Load(at - 1), x2 = V::Load(at - 2), x3 = V::Load(at - 3);
        const auto d1 = V::Sub16(x0, x1);
        const auto d1Before = V::Sub16(x1, x2);
        const auto d2 = V::Sub16(d1, d1Before);
        const auto d2Before = V::Sub16(d1Before, V::Sub16(x2, x3));
        rows[0][j] = x0;
        rows[1][j] = d1;
        rows[2][j] = d2;
        rows[3][j] = V::Sub16(d2, d2Before);
    }
}

// The sums of the 32-bit lanes of four vectors, as the four lanes of one:
// interleaved first, so that one fold to 128 bits remains.
// V: Vec32, UnpackLow32, UnpackHigh32, UnpackLow64, UnpackHigh64 (of two
// vectors, within each 128 bits), Add32, FoldTo128.
template <class V>
KBN_KERNEL_TARGET inline __m128i HorizontalSums(typename V::Vec32 a, typename V::Vec32 b, typename V::Vec32 c,
                                                typename V::Vec32 d) {
    const auto ab = V::Add32(V::UnpackLow32(a, b), V::UnpackHigh32(a, b));
    const auto cd = V::Add32(V::UnpackLow32(c, d), V::UnpackHigh32(c, d));
    return V::FoldTo128(V::Add32(V::UnpackLow64(ab, cd), V::UnpackHigh64(ab, cd)));
}

// The Rice codes of one row with parameter k, the way the bit writer
// takes them fastest: each code as one value of k + 1 + quotient bits (its
// k low bits, then its quotient's zeros and the stop bit), two values in a
// 64-bit lane and, where four fit 56 bits, four: only the appending stays
// serial, in half or a quarter of the steps. A code longer than 32 bits,
// or a pair longer than 56, sends the row the general way.
// V: Vec32 (32-bit lanes, taken as 64-bit lanes for pairs and quads),
// kCodes (codes to a Vec32), Flags (what the comparisons gather), and the
// operations below, one instruction each but for the comparisons.
template <class V>
KBN_KERNEL_TARGET inline void WriteRiceCodes(const typename V::Vec16 (&row)[kSamplesPerBlock / V::kLanes],
                                             uint32_t k, CBitWriter& bits) {
    using Vec32 = typename V::Vec32;
    const Vec32 one = V::Set32(1);
    const Vec32 parameter = V::Set32(k);
    const Vec32 lowMask = V::Set32((uint32_t{1} << k) - 1);
    const Vec32 longQuotient = V::Set32(31 - k);
    const Vec32 low32 = V::Set64(0xFFFFFFFF);
    const Vec32 longest = V::Set64(56);
    alignas(64) uint32_t codes[kSamplesPerBlock];
    alignas(64) uint64_t values[kSamplesPerBlock / 2];
    alignas(64) uint64_t widths[kSamplesPerBlock / 2];
    alignas(64) uint64_t quadValues[kSamplesPerBlock / 4 + V::kQuadSlack];
    alignas(64) uint64_t quadWidths[kSamplesPerBlock / 4 + V::kQuadSlack];
    typename V::Flags longCode = V::NoFlags(), longQuad = V::NoFlags();
    for (uint32_t at = 0; at < kSamplesPerBlock; at += V::kCodes) {
        // The code 2|v| + (v < 0); x >> 31 is -1 for a negative v.
        const Vec32 x = V::Widen(row, at);
        const Vec32 code = V::Sub32(V::Slli32(V::Abs32(x), 1), V::Srai32(x, 31));
        V::Store(codes + at, code);
        const Vec32 quotient = V::Srl32(code, k);
        longCode = V::FlagGreater32(longCode, quotient, longQuotient);
        const Vec32 value = V::Or(V::And(code, lowMask), V::Sllv32(one, V::Add32(quotient, parameter)));
        const Vec32 width = V::Add32(V::Add32(quotient, parameter), one);
        // Pairs: the odd code above the even one.
        const Vec32 evenWidth = V::And(width, low32);
        const Vec32 pairValue = V::Or(V::And(value, low32), V::Sllv64(V::Srli64(value, 32), evenWidth));
        const Vec32 pairWidth = V::Add64(evenWidth, V::Srli64(width, 32));
        longCode = V::FlagGreater64(longCode, pairWidth, longest);
        V::Store(values + at / 2, pairValue);
        V::Store(widths + at / 2, pairWidth);
        // Quads in the even 64-bit lanes: a pair and the one above it.
        const Vec32 quadWidth = V::Add64(pairWidth, V::UnpackHigh64(pairWidth, pairWidth));
        const Vec32 quadValue = V::Or(pairValue, V::Sllv64(V::UnpackHigh64(pairValue, pairValue), pairWidth));
        longQuad = V::FlagGreaterEven64(longQuad, quadWidth, longest);
        V::StoreEven64(quadValues + at / 4, quadValue);
        V::StoreEven64(quadWidths + at / 4, quadWidth);
    }
    if (V::Any(longCode)) {
        bits.WriteRiceCodes(codes, kSamplesPerBlock, k);
    } else if (!V::Any(longQuad)) {
        bits.AppendValues(quadValues, quadWidths, kSamplesPerBlock / 4);
    } else {
        bits.AppendValues(values, widths, kSamplesPerBlock / 2);
    }
}

}  // namespace kbn::KBN_KERNEL_NAMESPACE
