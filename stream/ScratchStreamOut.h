#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <stdexcept>

#include "stream/StreamOut.h"

namespace kbn {

// A stream into memory reused from one item to the next, like
// CScratchBuffer: Clear keeps the memory. Unlike CMemoryStreamOut, the room
// OpenArea gives is not cleared first: the writer overwrites what it keeps,
// and clearing would be a pass over all the room, about as large as the
// item's PCM, for nothing.
class CScratchStreamOut final : public CStreamOut {
public:
    void Write(const void* src, uint32_t count) override {
        if (count == 0) return;
        std::memcpy(Room(count), src, count);
        size_ += count;
    }

    std::span<uint8_t> OpenArea(std::size_t count) override {
        areaSize_ = count;
        return {Room(count), count};
    }

    void CloseArea(std::size_t used) override {
        if (used > areaSize_) throw std::logic_error("CScratchStreamOut: area overrun");
        size_ += used;
        areaSize_ = 0;
    }

    std::span<const uint8_t> Bytes() const { return {data_.get(), size_}; }
    // Empties the stream, keeping its memory for the next item.
    void Clear() { size_ = 0; }
    // Empties the stream and gives its memory back.
    void Release() {
        data_.reset();
        size_ = 0;
        capacity_ = 0;
    }

private:
    // Room for `count` bytes after those written, keeping them.
    uint8_t* Room(std::size_t count) {
        if (count > capacity_ - size_) {
            // By half again at least, so that many small writes copy little.
            const std::size_t capacity = std::max(size_ + count, capacity_ + capacity_ / 2);
            auto grown = std::make_unique_for_overwrite<uint8_t[]>(capacity);
            if (size_ > 0) std::memcpy(grown.get(), data_.get(), size_);
            data_ = std::move(grown);
            capacity_ = capacity;
        }
        return data_.get() + size_;
    }

    std::unique_ptr<uint8_t[]> data_;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
    std::size_t areaSize_ = 0;
};

}  // namespace kbn
