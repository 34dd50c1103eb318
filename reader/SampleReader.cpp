#include "reader/SampleReader.h"

#include <algorithm>
#include <string>

#include "bank/NameText.h"
#include "codec/SampleDecoder.h"
#include "reader/BankReader.h"
#include "stream/MemoryLimit.h"

namespace kbn {
namespace {

// A sample's defect, at its stream's offset in the bank (as the bank reader
// reports every defect), naming the sample.
[[noreturn]] void FailInSample(const BankSample& sample, uint32_t index, const std::string& problem) {
    throw CError("offset " + std::to_string(sample.streamOffset) + ": sample " + std::to_string(index) + " " +
                 QuotedName(sample.record.name) + problem);
}

}  // namespace

std::span<const uint8_t> CSampleReader::ReadPacked(const BankSample& sample) {
    const std::span<uint8_t> packed = packed_.Take(static_cast<std::size_t>(sample.packedSize));
    const bool atPositions = access_ == SampleAccess::AtPositions;
    if (!atPositions) in_.Seek(sample.packedOffset);
    for (uint64_t done = 0; done < packed.size();) {
        const auto n = static_cast<uint32_t>(std::min<uint64_t>(packed.size() - done, uint64_t{1} << 30));
        if (atPositions) {
            in_.ReadAt(sample.packedOffset + done, packed.data() + done, n);
        } else {
            in_.Read(packed.data() + done, n);
        }
        done += n;
    }
    return packed;
}

std::span<const int16_t> CSampleReader::Read(const BankSample& sample, uint32_t index) {
    // On a 32-bit system a sample can be larger than anything it can hold.
    if (const uint64_t bytes = std::max(sample.packedSize, 2 * uint64_t{sample.record.length});
        bytes > kLargestBuffer) {
        FailInSample(sample, index, " holds " + std::to_string(bytes) + " bytes, " + MoreThanThisBuildHolds());
    }
    const std::span<const uint8_t> packed = ReadPacked(sample);
    const std::span<int16_t> pcm = pcm_.Take(sample.record.length);
    try {
        DecodeSample(packed, sample.bitCount, pcm);
    } catch (const CError& e) {
        FailInSample(sample, index, std::string(": ") + e.what());
    }
    return pcm;
}

void CSampleReader::ReadRange(const BankSample& sample, uint32_t index, uint32_t first, std::span<int16_t> out) {
    if (sample.packedSize > kLargestBuffer) {
        FailInSample(sample, index,
                     " holds " + std::to_string(sample.packedSize) + " bytes, " + MoreThanThisBuildHolds());
    }
    const std::span<const uint8_t> packed = ReadPacked(sample);
    try {
        if (first == 0 && out.size() == sample.record.length) {
            DecodeSample(packed, sample.bitCount, out);
        } else {
            DecodeSampleRange(packed, sample.bitCount, sample.record.length, first, out);
        }
    } catch (const CError& e) {
        FailInSample(sample, index, std::string(": ") + e.what());
    }
}

}  // namespace kbn
