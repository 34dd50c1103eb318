#include "stream/Platform.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/TempDir.h"

namespace kbn {
namespace {

TEST(Platform, PathExistsForAnythingAtThePath) {
    test::TempDir dir;
    test::WriteFileBytes(dir / "file", {1});
    std::filesystem::create_directory(dir / "directory");
    const struct {
        std::string path;
        bool exists;
    } cases[] = {
        {dir / "file", true},
        {dir / "directory", true},
        {dir / "missing", false},
        {dir / "missing" + "/file", false},
        {"", false},
    };
    for (const auto& c : cases) EXPECT_EQ(platform::PathExists(c.path), c.exists) << c.path;
}

}  // namespace
}  // namespace kbn
