#pragma once

#include <cstddef>
#include <memory>
#include <span>

namespace kbn {

// A heap buffer reused from one item to the next. It grows when an item is
// larger than any before and is never cleared: its user overwrites what it
// takes whole, and clearing would be a second pass over it for nothing.
template <class T>
class CScratchBuffer {
public:
    std::span<T> Take(std::size_t count) {
        if (count > capacity_) {
            data_.reset();  // the old buffer goes before the new one comes
            data_ = std::make_unique_for_overwrite<T[]>(count);
            capacity_ = count;
        }
        return {data_.get(), count};
    }

    // Gives the memory back; the next Take allocates anew.
    void Release() {
        data_.reset();
        capacity_ = 0;
    }

private:
    std::unique_ptr<T[]> data_;
    std::size_t capacity_ = 0;
};

}  // namespace kbn
