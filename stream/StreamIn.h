#pragma once

#include <cstdint>
#include <stdexcept>

namespace kbn {

// The input side of every file the converter reads. Read copies exactly
// `count` bytes or throws; positions are byte offsets from the start.
class CStreamIn {
public:
    virtual void Read(void* dst, uint32_t count) = 0;
    virtual ~CStreamIn() = default;
    virtual void Seek(uint64_t position) = 0;
    virtual void Skip(int64_t delta) = 0;
    virtual uint64_t GetSize() = 0;
    virtual uint64_t Tell() = 0;

    // Whether ReadAt works: a stream that has it lets several threads read
    // at once, so that each reads the data it is about to work on.
    virtual bool CanReadAt() const { return false; }
    // Copies exactly `count` bytes from `position` or throws, like Read, but
    // without the stream's position: several threads may call it at once,
    // while no other call is made on the stream. The position is unspecified
    // after it; Seek before the next Read.
    virtual void ReadAt(uint64_t /*position*/, void* /*dst*/, uint32_t /*count*/) const {
        throw std::logic_error("this stream cannot read at a position");
    }
};

}  // namespace kbn
