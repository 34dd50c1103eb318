#include "stream/FailurePrompt.h"

#include <mutex>
#include <utility>

#include "platform/Platform.h"

namespace kbn {
namespace {

FailurePrompt& CurrentPrompt() {
    static FailurePrompt prompt;
    return prompt;
}

// Held while a prompt is up, and while the prompt is replaced.
std::mutex& PromptMutex() {
    static std::mutex mutex;
    return mutex;
}

// The template's "%s" replaced by the system text, cut to fit the buffer.
std::string FormatFailureText(std::string_view textTemplate, std::string_view systemText) {
    std::string text;
    const std::size_t mark = textTemplate.find("%s");
    if (mark == std::string_view::npos) {
        text = textTemplate;
    } else {
        text.append(textTemplate.substr(0, mark));
        text.append(systemText);
        text.append(textTemplate.substr(mark + 2));
    }
    if (text.size() > kFailureTextCapacity - 1) text.resize(kFailureTextCapacity - 1);
    return text;
}

}  // namespace

FailurePrompt SetFailurePrompt(FailurePrompt prompt) {
    std::lock_guard lock(PromptMutex());
    return std::exchange(CurrentPrompt(), std::move(prompt));
}

PromptAnswer AskAfterFailure(std::string_view textTemplate, std::string_view systemText) {
    const std::string text = FormatFailureText(textTemplate, systemText);
    std::lock_guard lock(PromptMutex());
    const FailurePrompt& prompt = CurrentPrompt();
    if (prompt) return prompt(kFailureCaption, text);
    return platform::AskRetryCancel(kFailureCaption, text);
}

}  // namespace kbn
