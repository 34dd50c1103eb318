#include "stream/FailurePrompt.h"

#include <gtest/gtest.h>

namespace kbn {
namespace {

TEST(FailurePrompt, TextIsTheTemplateWithTheSystemTextCutToFitTheBuffer) {
    EXPECT_EQ(FormatFailureText(kReadFailureTemplate, "Input/output error"), "Cannot read file. Input/output error");
    EXPECT_EQ(FormatFailureText(kWriteFailureTemplate, ""), "Cannot write file. ");
    const std::string longText(400, 'x');
    const std::string text = FormatFailureText(kWriteFailureTemplate, longText);
    EXPECT_EQ(text.size(), kFailureTextCapacity - 1);
    EXPECT_EQ(text.substr(0, 18), "Cannot write file.");
}

TEST(FailurePrompt, AReplacedPromptReceivesCaptionAndTextAndCanBeRestored) {
    std::string seen;
    FailurePrompt previous = SetFailurePrompt([&](std::string_view caption, std::string_view text) {
        seen = std::string(caption) + ": " + std::string(text);
        return PromptAnswer::Retry;
    });
    EXPECT_EQ(AskAfterFailure(kReadFailureTemplate, "Disk gone"), PromptAnswer::Retry);
    EXPECT_EQ(seen, "File Error: Cannot read file. Disk gone");
    SetFailurePrompt(std::move(previous));
}

}  // namespace
}  // namespace kbn
