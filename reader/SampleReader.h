#pragma once

#include <cstdint>
#include <span>

#include "bank/Bank.h"
#include "stream/ScratchBuffer.h"
#include "stream/StreamIn.h"

namespace kbn {

// How a sample reader fetches a sample's bytes: with Seek and Read, or with
// ReadAt, which lets readers on other threads share the stream.
enum class SampleAccess { Sequential, AtPositions };

// Reads and decodes samples of a bank one after another into buffers it
// keeps, so that a run over a whole bank allocates and touches new memory
// only for a sample larger than any before.
class CSampleReader {
public:
    explicit CSampleReader(CStreamIn& in, SampleAccess access = SampleAccess::Sequential)
        : in_(in), access_(access) {}

    // One sample's PCM, valid until the next Read; CError when
    // its stream does not decode to exactly its bit count.
    std::span<const int16_t> Read(const BankSample& sample, uint32_t index);

    // Frames `first` to `first` + out.size() of one sample, which the
    // caller has checked lie inside it, into `out`: the blocks after the
    // range are neither decoded nor checked.
    void ReadRange(const BankSample& sample, uint32_t index, uint32_t first, std::span<int16_t> out);

private:
    // The sample's packed bits, valid until the next call.
    std::span<const uint8_t> ReadPacked(const BankSample& sample);

    CStreamIn& in_;
    SampleAccess access_;
    CScratchBuffer<uint8_t> packed_;
    CScratchBuffer<int16_t> pcm_;
};

}  // namespace kbn
