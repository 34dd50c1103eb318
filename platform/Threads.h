#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "platform/Platform.h"

// Work on several threads: how many when the user says nothing, and a loop
// that runs on them.
namespace kbn {

// One thread per core the process may run on.
inline unsigned DefaultThreadCount() { return platform::UsableCoreCount(); }

// Runs work(state, i) for every i below `count` on up to `threads` threads
// (the caller's and workers), each thread with a state of its own from
// makeState(), taking the next i not yet taken. When some i throw, what the
// lowest of them threw is rethrown, once every i below it has run: the
// same failure as a run in order on one thread, whatever the threads. An i
// above a failed one may not run.
template <class MakeState, class Work>
void ForEachOnThreads(uint32_t count, unsigned threads, MakeState makeState, Work work) {
    std::atomic<uint32_t> next{0};
    std::mutex mutex;
    uint32_t firstFailed = UINT32_MAX;
    std::exception_ptr firstFailure;
    const auto failedBefore = [&](uint32_t i) {
        std::lock_guard lock(mutex);
        return firstFailed < i;
    };
    const auto fail = [&](uint32_t i, std::exception_ptr failure) {
        std::lock_guard lock(mutex);
        if (i < firstFailed) {
            firstFailed = i;
            firstFailure = std::move(failure);
        }
    };
    const auto run = [&]() noexcept {
        try {
            auto state = makeState();
            for (;;) {
                const uint32_t i = next.fetch_add(1);
                if (i >= count || failedBefore(i)) return;
                try {
                    work(state, i);
                } catch (...) {
                    fail(i, std::current_exception());
                }
            }
        } catch (...) {
            // No state (out of memory): the whole run fails with it.
            fail(0, std::current_exception());
        }
    };
    {
        // When the system refuses a thread, those that started, the
        // caller's at least, take every i.
        std::vector<std::jthread> workers;
        workers.reserve(threads);
        for (unsigned t = 1; t < threads && t < count; ++t) {
            try {
                workers.emplace_back(run);
            } catch (const std::system_error&) {
                break;
            }
        }
        run();
    }
    if (firstFailure) std::rethrow_exception(firstFailure);
}

}  // namespace kbn
