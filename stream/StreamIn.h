#pragma once

#include <cstdint>

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
};

}  // namespace kbn
