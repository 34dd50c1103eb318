#include "stream/AtomicOutputFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "tests/support/TempDir.h"

namespace kbn {
namespace {

TEST(AtomicOutputFile, CommitPutsTheWholeFileInPlace) {
    test::TempDir dir;
    const std::string target = dir / "out.kbn";
    {
        CAtomicOutputFile output(target);
        output.Stream().Write("bank", 4);
        EXPECT_FALSE(std::filesystem::exists(target));  // nothing at the target before the commit
        output.Commit();
    }
    EXPECT_EQ(test::ReadFileBytes(target), (std::vector<uint8_t>{'b', 'a', 'n', 'k'}));
    EXPECT_EQ(dir.List(), std::vector<std::string>{"out.kbn"});
}

TEST(AtomicOutputFile, CommitReplacesAnExistingFile) {
    test::TempDir dir;
    const std::string target = dir / "out.kbn";
    test::WriteFileBytes(target, {1, 2, 3});
    CAtomicOutputFile output(target);
    output.Stream().Write("new", 3);
    output.Commit();
    EXPECT_EQ(test::ReadFileBytes(target), (std::vector<uint8_t>{'n', 'e', 'w'}));
}

TEST(AtomicOutputFile, WithoutCommitTheTargetStaysAsItWasAndNoTemporaryRemains) {
    test::TempDir dir;
    const std::string target = dir / "out.kbn";
    test::WriteFileBytes(target, {1, 2, 3});
    try {
        CAtomicOutputFile output(target);
        std::vector<uint8_t> lots(100000, 7);
        output.Stream().Write(lots.data(), static_cast<uint32_t>(lots.size()));
        throw std::runtime_error("conversion failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(test::ReadFileBytes(target), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(dir.List(), std::vector<std::string>{"out.kbn"});
}

TEST(AtomicOutputFile, ANewFileGetsTheUsualPermissions) {
    test::TempDir dir;
    const std::string target = dir / "out.kbn";
    const mode_t previous = umask(022);
    CAtomicOutputFile output(target);
    output.Commit();
    umask(previous);
    struct stat info {};
    ASSERT_EQ(stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);
}

TEST(AtomicOutputFile, AMissingDirectoryIsNamedInTheError) {
    test::TempDir dir;
    const std::string target = dir / "no-such-dir/out.kbn";
    try {
        CAtomicOutputFile output(target);
        FAIL();
    } catch (const CRvFile::Error& e) {
        EXPECT_EQ(std::string(e.what()), target + ": cannot create a temporary file beside it: No such file or directory");
    }
}

}  // namespace
}  // namespace kbn
