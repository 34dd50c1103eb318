#include "stream/AtomicOutputFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>

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

// Replacing an output keeps what its user set up: the permission bits, the
// symbolic link in place of the file, a name near the system's limit.
struct SetUpCase {
    const char* name;
    std::function<void(const test::TempDir&)> prepare;  // makes "out.kbn"
    const char* written;                                   // where the bytes end up
    mode_t mode;
};

class AtomicOutputFileKeeps : public testing::TestWithParam<SetUpCase> {};

TEST_P(AtomicOutputFileKeeps, WhatTheUserSetUp) {
    const SetUpCase& c = GetParam();
    test::TempDir dir;
    std::filesystem::create_directory(dir.Path() / "real");
    c.prepare(dir);
    const bool wasLink = std::filesystem::is_symlink(dir.Path() / "out.kbn");
    CAtomicOutputFile output(dir / "out.kbn");
    output.Stream().Write("new", 3);
    output.Commit();
    EXPECT_EQ(test::ReadFileBytes(dir / c.written), (std::vector<uint8_t>{'n', 'e', 'w'}));
    EXPECT_EQ(std::filesystem::is_symlink(dir.Path() / "out.kbn"), wasLink);
    struct stat info {};
    ASSERT_EQ(stat((dir / c.written).c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, c.mode);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.Path())) {
        EXPECT_NE(entry.path().extension(), ".tmp") << "a temporary file was left";
    }
}

void OldFile(const std::string& path, mode_t mode) {
    test::WriteFileBytes(path, {1, 2, 3});
    chmod(path.c_str(), mode);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AtomicOutputFileKeeps,
    testing::Values(
        SetUpCase{"ReadOnly", [](const test::TempDir& d) { OldFile(d / "out.kbn", 0444); }, "out.kbn", 0444},
        SetUpCase{"GroupOnly", [](const test::TempDir& d) { OldFile(d / "out.kbn", 0640); }, "out.kbn", 0640},
        SetUpCase{"Link",
                  [](const test::TempDir& d) {
                      OldFile(d / "real/bank.kbn", 0600);
                      std::filesystem::create_symlink("real/bank.kbn", d.Path() / "out.kbn");
                  },
                  "real/bank.kbn", 0600},
        SetUpCase{"LinkToALink",
                  [](const test::TempDir& d) {
                      OldFile(d / "real/bank.kbn", 0600);
                      std::filesystem::create_symlink("bank.kbn", d.Path() / "real/link.kbn");
                      std::filesystem::create_symlink(d / "real/link.kbn", d.Path() / "out.kbn");
                  },
                  "real/bank.kbn", 0600},
        SetUpCase{"DanglingLink",
                  [](const test::TempDir& d) {
                      std::filesystem::create_symlink("real/new.kbn", d.Path() / "out.kbn");
                  },
                  "real/new.kbn", 0644}),
    [](const testing::TestParamInfo<SetUpCase>& tested) { return tested.param.name; });

TEST(AtomicOutputFile, ANameNearTheLimitGetsAShorterTemporaryName) {
    test::TempDir dir;
    const std::string target = dir / (std::string(251, 'n') + ".kbn");  // 255 bytes, the most a name has
    CAtomicOutputFile output(target);
    output.Stream().Write("new", 3);
    output.Commit();
    EXPECT_EQ(test::ReadFileBytes(target).size(), 3u);
}

TEST(AtomicOutputFile, RefusesTheInputUnderAnyName) {
    test::TempDir dir;
    test::WriteFileBytes(dir / "in.kbn", {1, 2, 3});
    std::filesystem::create_symlink("in.kbn", dir.Path() / "link.kbn");
    std::filesystem::create_hard_link(dir.Path() / "in.kbn", dir.Path() / "hard.kbn");
    for (const std::string name : {"in.kbn", "./in.kbn", "link.kbn", "hard.kbn"}) {
        const std::string target = dir / name;
        try {
            CAtomicOutputFile output(target, dir / "in.kbn");
            ADD_FAILURE() << name;
        } catch (const CError& e) {
            EXPECT_EQ(std::string(e.what()), target + ": is the input file itself; not writing over it");
        }
    }
    EXPECT_EQ(test::ReadFileBytes(dir / "in.kbn"), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(dir.List().size(), 3u);
}

}  // namespace
}  // namespace kbn
