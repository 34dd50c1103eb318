// The Win32 platform layer under the file class and the atomic output: what
// the converter relies on from CreateFileA, ReadFile, WriteFile,
// SetFilePointerEx, MoveFileExA and the rest.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/Platform.h"
#include "stream/AtomicOutputFile.h"
#include "stream/FailurePrompt.h"
#include "stream/RvFile.h"
#include "tests/support/TempDir.h"

namespace kbn {
namespace {

std::vector<uint8_t> Counting(std::size_t size) {
    std::vector<uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 13 + i / 256);
    return bytes;
}

TEST(PlatformWin32, ErrorTextIsTheSystemsWithoutItsLineBreak) {
    const std::string text = platform::ErrorText(ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(text.empty());
    EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos) << text;
    EXPECT_EQ(platform::ErrorText(0x7FFFFFF0), "system error 2147483632");
}

TEST(PlatformWin32, WithoutAConsoleNobodyIsAskedAndTheAnswerIsCancel) {
    // The suite runs with its output captured, as scripts and CI run the
    // programs: no message box may wait for a click.
    if (GetFileType(GetStdHandle(STD_ERROR_HANDLE)) == FILE_TYPE_CHAR) GTEST_SKIP() << "standard error is a console";
    EXPECT_EQ(platform::AskRetryCancel("File Error", "Cannot read file. x"), PromptAnswer::Cancel);
    // Through the hook, as the converter asks: the caption and the text cut
    // to the 256-byte buffer.
    std::string seen;
    FailurePrompt previous = SetFailurePrompt([&](std::string_view caption, std::string_view text) {
        seen = std::string(caption) + "|" + std::string(text);
        return PromptAnswer::Retry;
    });
    EXPECT_EQ(AskAfterFailure(kWriteFailureTemplate, std::string(300, 'x')), PromptAnswer::Retry);
    SetFailurePrompt(std::move(previous));
    EXPECT_EQ(seen, "File Error|Cannot write file. " + std::string(255 - 19, 'x'));
}

TEST(PlatformWin32, AMissingFileIsNamedWithTheSystemsReason) {
    test::TempDir dir;
    const std::string path = dir / "missing.sf2";
    CRvFile file;
    try {
        file.Open(path.c_str(), CRvFile::kAccessRead, 0);
        FAIL();
    } catch (const CRvFile::Error& e) {
        EXPECT_EQ(std::string(e.what()), path + ": cannot open: " + platform::ErrorText(ERROR_FILE_NOT_FOUND));
    }
}

TEST(PlatformWin32, BufferedReadsSeeksAndWritesKeepTheirPositions) {
    test::TempDir dir;
    const std::string path = dir / "data.bin";
    const auto bytes = Counting(20000);
    {
        CRvFile out;
        out.Open(path.c_str(), CRvFile::kAccessWrite, 0);
        out.Write(bytes.data(), 4097);  // one full buffer and a byte
        out.Write(bytes.data() + 4097, static_cast<uint32_t>(bytes.size() - 4097));
        EXPECT_EQ(out.Tell(), bytes.size());
        out.Close();
    }
    EXPECT_EQ(test::ReadFileBytes(path), bytes);

    CRvFile in;
    in.Open(path.c_str(), CRvFile::kAccessRead, 0);
    EXPECT_EQ(in.GetSize(), bytes.size());
    std::vector<uint8_t> part(12);
    in.Read(part.data(), 12);
    EXPECT_EQ(in.Tell(), 12u);
    in.Skip(-4);
    EXPECT_EQ(in.Tell(), 8u);
    in.Seek(15000);
    std::vector<uint8_t> large(5000);
    in.Read(large.data(), 5000);  // past the buffer, straight from the file
    EXPECT_TRUE(std::equal(large.begin(), large.end(), bytes.begin() + 15000));
    uint8_t more[2];
    EXPECT_THROW(in.Read(more, 2), CRvFile::Error);
}

TEST(PlatformWin32, ReadersShareAFileThatAWriterCannotTake) {
    test::TempDir dir;
    const std::string path = dir / "shared.bin";
    test::WriteFileBytes(path, {1, 2, 3});
    CRvFile first, second, writer;
    first.Open(path.c_str(), CRvFile::kAccessRead, 0);
    second.Open(path.c_str(), CRvFile::kAccessRead, 0);
    try {
        writer.Open(path.c_str(), CRvFile::kAccessWrite, 0);
        FAIL();
    } catch (const CRvFile::Error& e) {
        EXPECT_EQ(std::string(e.what()), path + ": cannot create: " + platform::ErrorText(ERROR_SHARING_VIOLATION));
    }
    EXPECT_EQ(test::ReadFileBytes(path), (std::vector<uint8_t>{1, 2, 3}));
}

TEST(PlatformWin32, TheOutputAppearsWholeOrNotAtAll) {
    test::TempDir dir;
    const std::string target = dir / "out.kbn";
    test::WriteFileBytes(target, {9, 9});
    {
        CAtomicOutputFile output(target);
        output.Stream().Write("abandoned", 9);
    }
    EXPECT_EQ(test::ReadFileBytes(target), (std::vector<uint8_t>{9, 9}));
    EXPECT_EQ(dir.List(), std::vector<std::string>{"out.kbn"});
    {
        CAtomicOutputFile output(target);
        output.Stream().Write("new", 3);
        output.Commit();
    }
    EXPECT_EQ(test::ReadFileBytes(target), (std::vector<uint8_t>{'n', 'e', 'w'}));
    EXPECT_EQ(dir.List(), std::vector<std::string>{"out.kbn"});
}

TEST(PlatformWin32, SameFileThroughAHardLinkButNotACopy) {
    test::TempDir dir;
    const std::string a = dir / "a.wav", link = dir / "b.kbn", copy = dir / "c.kbn";
    test::WriteFileBytes(a, {1});
    test::WriteFileBytes(copy, {1});
    ASSERT_TRUE(CreateHardLinkA(link.c_str(), a.c_str(), nullptr));
    CRvFile open;  // a reader's share mode does not hide the file
    open.Open(a.c_str(), CRvFile::kAccessRead, 0);
    EXPECT_TRUE(platform::IsSameFile(a, link));
    EXPECT_FALSE(platform::IsSameFile(a, copy));
    EXPECT_FALSE(platform::IsSameFile(a, dir / "none"));
}

TEST(PlatformWin32, MakeDirectoryAcceptsAnExistingDirectoryButNotAFile) {
    test::TempDir dir;
    EXPECT_TRUE(platform::MakeDirectory(dir / "new"));
    EXPECT_TRUE(platform::MakeDirectory(dir / "new"));
    test::WriteFileBytes(dir / "file", {1});
    EXPECT_FALSE(platform::MakeDirectory(dir / "file"));
}

}  // namespace
}  // namespace kbn
