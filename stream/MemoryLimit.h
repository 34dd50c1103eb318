#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kbn {

// The most bytes one buffer can take in this build: what its address space
// can index (no array may pass PTRDIFF_MAX bytes; a 32-bit build has 2 GiB).
// A sample larger than that is refused, with a message, before anything is
// allocated for it.
inline constexpr uint64_t kLargestBuffer = PTRDIFF_MAX;

// "more than this 32-bit build can hold in memory", for such messages.
inline std::string MoreThanThisBuildHolds() {
    return "more than this " + std::to_string(8 * sizeof(void*)) + "-bit build can hold in memory";
}

}  // namespace kbn
