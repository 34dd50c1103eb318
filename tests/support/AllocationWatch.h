#pragma once

#include <cstddef>

namespace kbn::test {

// Records the largest single request to operator new, from any thread,
// while it lives (the test binary replaces the global operator new to see
// them). One watch at a time.
class AllocationWatch {
public:
    AllocationWatch();
    ~AllocationWatch();
    AllocationWatch(const AllocationWatch&) = delete;
    AllocationWatch& operator=(const AllocationWatch&) = delete;

    std::size_t Largest() const;
};

}  // namespace kbn::test
