#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/Platform.h"

namespace kbn {

using platform::PromptAnswer;

// Asked when the system fails a read or a write: Retry repeats the failed
// call, Cancel gives up and the stream throws.
using FailurePrompt = std::function<PromptAnswer(std::string_view caption, std::string_view text)>;

inline constexpr std::string_view kFailureCaption = "File Error";
inline constexpr std::string_view kReadFailureTemplate = "Cannot read file. %s";
inline constexpr std::string_view kWriteFailureTemplate = "Cannot write file. %s";
// The prompt text lives in a 256-byte buffer: at most 255 characters.
inline constexpr std::size_t kFailureTextCapacity = 256;

// Replaces the process-wide prompt and returns the previous one. An empty
// function restores the platform's own prompt.
FailurePrompt SetFailurePrompt(FailurePrompt prompt);

// Shows the current prompt for a failure with the system's error text. Threads
// that fail at once are asked one after another.
PromptAnswer AskAfterFailure(std::string_view textTemplate, std::string_view systemText);

}  // namespace kbn
