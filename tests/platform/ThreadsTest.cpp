#include "platform/Threads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace kbn {
namespace {

constexpr unsigned kThreadCounts[] = {1, 2, 4, 16};

TEST(ForEachOnThreads, RunsEveryIndexOnceWithAStatePerThread) {
    for (unsigned threads : kThreadCounts) {
        std::vector<std::atomic<int>> runs(1000);
        std::atomic<int> states{0};
        ForEachOnThreads(
            1000, threads, [&] { return ++states; }, [&](int&, uint32_t i) { ++runs[i]; });
        for (uint32_t i = 0; i < runs.size(); ++i) ASSERT_EQ(runs[i].load(), 1) << threads << " threads, index " << i;
        EXPECT_GE(states.load(), 1);
        EXPECT_LE(states.load(), static_cast<int>(threads));
    }
}

TEST(ForEachOnThreads, HandlesNoIndexAndFewerIndexesThanThreads) {
    for (uint32_t count : {0u, 1u, 3u}) {
        std::atomic<uint32_t> runs{0};
        ForEachOnThreads(
            count, 8, [] { return 0; }, [&](int&, uint32_t) { ++runs; });
        EXPECT_EQ(runs.load(), count);
    }
}

// Waits, with more than one thread, until `flag` is set or half a second has
// passed: one thread alone cannot wait for another index.
void WaitFor(const std::atomic<bool>& flag, unsigned threads) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
    while (threads > 1 && !flag && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
}

// Indexes 2 and 7 fail, both taken before either fails, in either order:
// the failure of 2 is the one rethrown, after 0 and 1 have run.
TEST(ForEachOnThreads, RethrowsTheLowestFailureAfterEveryIndexBelowIt) {
    for (bool higherFailsFirst : {true, false}) {
        for (unsigned threads : kThreadCounts) {
            std::vector<std::atomic<int>> runs(64);
            std::atomic<bool> started[2] = {false, false};
            std::atomic<bool> failed[2] = {false, false};
            const auto failAt = [&](int which, const char* text) {
                started[which] = true;
                WaitFor(started[1 - which], threads);
                if (higherFailsFirst == (which == 0)) WaitFor(failed[1 - which], threads);
                failed[which] = true;
                throw std::runtime_error(text);
            };
            std::string message;
            try {
                ForEachOnThreads(
                    64, threads, [] { return 0; },
                    [&](int&, uint32_t i) {
                        ++runs[i];
                        if (i == 2) failAt(0, "two");
                        if (i == 7) failAt(1, "seven");
                    });
            } catch (const std::runtime_error& e) {
                message = e.what();
            }
            const std::string where = std::to_string(threads) + " threads, higher first " +
                                      std::to_string(higherFailsFirst);
            EXPECT_EQ(message, "two") << where;
            for (uint32_t i = 0; i < 2; ++i) EXPECT_EQ(runs[i].load(), 1) << where << ", index " << i;
            if (threads == 1) {
                for (uint32_t i = 3; i < runs.size(); ++i) EXPECT_EQ(runs[i].load(), 0) << "index " << i;
            }
        }
    }
}

TEST(ForEachOnThreads, AStateThatCannotBeMadeFailsTheRun) {
    for (unsigned threads : kThreadCounts) {
        std::atomic<int> made{0};
        EXPECT_THROW(ForEachOnThreads(
                         10, threads,
                         [&] {
                             if (++made == 1) throw std::bad_alloc();
                             return 0;
                         },
                         [](int&, uint32_t) {}),
                     std::bad_alloc)
            << threads << " threads";
    }
}

}  // namespace
}  // namespace kbn
