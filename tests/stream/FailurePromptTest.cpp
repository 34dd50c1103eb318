#include "stream/FailurePrompt.h"

#include <gtest/gtest.h>

namespace kbn {
namespace {

// A replaced prompt is shown the caption and the template's text with the
// system's, cut to fit the 256-byte buffer, and answers for the stream.
TEST(FailurePrompt, AReplacedPromptSeesTheTextCutToFitAndAnswers) {
    const std::string longText(400, 'x');
    const struct {
        std::string_view textTemplate, systemText;
        std::string seen;
    } cases[] = {
        {kReadFailureTemplate, "Input/output error", "File Error: Cannot read file. Input/output error"},
        {kWriteFailureTemplate, "", "File Error: Cannot write file. "},
        {kWriteFailureTemplate, longText, "File Error: Cannot write file. " + std::string(255 - 19, 'x')},
    };
    for (const auto& c : cases) {
        std::string seen;
        FailurePrompt previous = SetFailurePrompt([&](std::string_view caption, std::string_view text) {
            seen = std::string(caption) + ": " + std::string(text);
            return PromptAnswer::Retry;
        });
        EXPECT_EQ(AskAfterFailure(c.textTemplate, c.systemText), PromptAnswer::Retry);
        EXPECT_EQ(seen, c.seen);
        SetFailurePrompt(std::move(previous));
    }
}

}  // namespace
}  // namespace kbn
