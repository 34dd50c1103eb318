#pragma once

#include <utility>

#include "stream/FailurePrompt.h"

namespace kbn::test {

// Installs a failure prompt for one test and restores the one before
// afterwards.
class ScopedPrompt {
public:
    explicit ScopedPrompt(FailurePrompt prompt) : previous_(SetFailurePrompt(std::move(prompt))) {}
    ~ScopedPrompt() { SetFailurePrompt(std::move(previous_)); }
    ScopedPrompt(const ScopedPrompt&) = delete;
    ScopedPrompt& operator=(const ScopedPrompt&) = delete;

private:
    FailurePrompt previous_;
};

}  // namespace kbn::test
