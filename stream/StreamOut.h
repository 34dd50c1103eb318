#pragma once

#include <cstdint>

namespace kbn {

// The output side: the bank is written strictly front to back, so writing is
// all an output stream has to offer.
class CStreamOut {
public:
    virtual void Write(const void* src, uint32_t count) = 0;
    virtual ~CStreamOut() = default;
};

}  // namespace kbn
