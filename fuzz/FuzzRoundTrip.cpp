// libFuzzer harness for the codec's one promise: whatever 16-bit samples go
// in, the encoded stream is well formed and decodes to exactly them. The
// input's bytes are the samples, little-endian.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "codec/SampleDecoder.h"
#include "codec/SampleEncoder.h"
#include "stream/ByteOrder.h"
#include "stream/MemoryStream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using namespace kbn;
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
    return 0;
}
