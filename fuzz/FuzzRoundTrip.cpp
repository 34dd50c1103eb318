// libFuzzer harness for the codec's promises: whatever 16-bit samples go in,
// the encoded stream is well formed and decodes to exactly them, and every
// full-block kernel this processor can run codes each block exactly as the
// portable one does. The input's bytes are the samples, little-endian.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "codec/BitWriter.h"
#include "codec/FullBlock.h"
#include "codec/SampleDecoder.h"
#include "codec/SampleEncoder.h"
#include "stream/ByteOrder.h"
#include "stream/MemoryStream.h"

namespace {

using namespace kbn;

// Each full block, read with the three samples before it, goes through
// every kernel: the same choice of coding, the same bits for it, and the
// same bits for an order and parameter that its first sample picks.
struct KernelOutput {
    std::vector<BlockCoding> codings;
    std::vector<uint8_t> chosen;
    std::vector<uint8_t> picked;
};

KernelOutput RunKernel(const FullBlockKernel& kernel, const std::vector<int16_t>& padded) {
    KernelOutput result;
    CMemoryStreamOut chosen, picked;
    {
        CBitWriter chosenBits(chosen), pickedBits(picked);
        for (std::size_t at = kBlockLookBehind; at + kSamplesPerBlock <= padded.size(); at += kSamplesPerBlock) {
            const int16_t* block = padded.data() + at;
            const BlockCoding coding = kernel.analyze(block);
            result.codings.push_back(coding);
            kernel.write(block, coding.order, coding.riceParameter, chosenBits);
            // Any order, and a parameter of 10 or more: codes up to 75 bits
            // long, past the 32 of a word, without the 65537-bit ones that a
            // small parameter gives large residuals.
            const auto pick = static_cast<uint16_t>(block[0]);
            const uint32_t k = std::max(coding.riceParameter, 10 + ((pick >> 2) & 3u));
            kernel.write(block, pick & 3u, k, pickedBits);
        }
        chosenBits.Finish();
        pickedBits.Finish();
    }
    result.chosen = chosen.Bytes();
    result.picked = picked.Bytes();
    return result;
}

// The first 16 full blocks: where a block stands does not matter to a
// kernel, and the portable one is slow under the fuzzer's instrumentation.
void CompareKernels(const std::vector<int16_t>& samples) {
    constexpr std::size_t kBlocksCompared = 16;
    std::vector<int16_t> padded(kBlockLookBehind, 0);
    padded.insert(
        padded.end(), samples.begin(),
        samples.begin() + static_cast<std::ptrdiff_t>(std::min(samples.size(), kBlocksCompared * kSamplesPerBlock)));
    const std::vector<FullBlockKernel>& kernels = AvailableFullBlockKernels();
    const KernelOutput reference = RunKernel(kernels.front(), padded);
    for (std::size_t i = 1; i < kernels.size(); ++i) {
        const KernelOutput output = RunKernel(kernels[i], padded);
        for (std::size_t b = 0; b < output.codings.size(); ++b) {
            const BlockCoding& x = output.codings[b];
            const BlockCoding& y = reference.codings[b];
            if (x.order != y.order || x.riceParameter != y.riceParameter || x.cost != y.cost) __builtin_trap();
        }
        if (output.chosen != reference.chosen || output.picked != reference.picked) __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    std::vector<int16_t> samples(size / 2);
    for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = GetS16(data + 2 * i);

    CMemoryStreamOut out;
    EncodeSample(out, samples.data(), static_cast<int32_t>(samples.size()));
    const std::vector<uint8_t>& stream = out.Bytes();
    // Block size, bit count, then exactly floor(bits / 8) + 1 packed bytes.
    if (stream.size() < 10 || GetU16(stream.data()) != 32) __builtin_trap();
    const uint64_t bitCount = GetU64(stream.data() + 2);
    if (stream.size() - 10 != bitCount / 8 + 1) __builtin_trap();

    std::vector<int16_t> decoded(samples.size(), 0x5A5A);
    DecodeSample(std::span<const uint8_t>(stream).subspan(10), bitCount, decoded);
    if (decoded != samples) __builtin_trap();

    CompareKernels(samples);
    return 0;
}
