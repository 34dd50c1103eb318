#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace kbn {

// The output side: the bank is written strictly front to back, so writing is
// all an output stream has to offer.
class CStreamOut {
public:
    virtual void Write(const void* src, uint32_t count) = 0;

    // A writer that knows how much it will write can fill the stream's own
    // memory in place instead of copying through a buffer of its own:
    // OpenArea(count) gives room for up to `count` bytes after everything
    // written so far, and CloseArea(used) keeps the first `used` of them.
    // Nothing else may be written in between. A stream without such memory
    // gives an empty span, and the writer uses Write.
    virtual std::span<uint8_t> OpenArea(std::size_t /*count*/) { return {}; }
    virtual void CloseArea(std::size_t /*used*/) {}
    virtual ~CStreamOut() = default;
};

}  // namespace kbn
