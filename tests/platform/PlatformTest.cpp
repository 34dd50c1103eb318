#include "platform/Platform.h"

#include "platform/SiblingTempName.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/TempDir.h"

#ifdef __linux__
#include <sched.h>
#endif


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

TEST(Platform, TemporaryNamesAreShortenedNotTheOutputs) {
    const std::string longName(250, 'n');
    const struct {
        std::string directory, name;
        std::size_t maxName, maxPath;
        std::string expected;
    } cases[] = {
        {"d/", "out.kbn", 255, 4095, "d/.out.kbn.7-0.tmp"},
        {"", longName, 255, 4095, "." + std::string(255 - 9, 'n') + ".7-0.tmp"},
        {"dir/", "out.kbn", 255, 17, "dir/.out..7-0.tmp"},
        {"dir/", "out.kbn", 255, 10, "dir/..7-0.tmp"},  // no room for the name at all
    };
    for (const auto& c : cases) {
        EXPECT_EQ(platform::SiblingTempName(c.directory, c.name, "7-0", c.maxName, c.maxPath), c.expected) << c.name;
    }
}


#ifdef __linux__
// The default number of threads: a process held to one core (taskset, a
// container) must not start one per core of the machine.
TEST(Platform, UsableCoreCountFollowsTheAffinity) {
    cpu_set_t all;
    ASSERT_EQ(sched_getaffinity(0, sizeof all, &all), 0);
    int first = 0;
    while (!CPU_ISSET(static_cast<std::size_t>(first), &all)) ++first;
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(static_cast<std::size_t>(first), &one);
    ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
    const unsigned held = platform::UsableCoreCount();
    ASSERT_EQ(sched_setaffinity(0, sizeof all, &all), 0);
    EXPECT_EQ(held, 1u);
    EXPECT_EQ(platform::UsableCoreCount(), static_cast<unsigned>(CPU_COUNT(&all)));
}
#endif

// Positioned reads give the bytes at their offset whatever the file
// position, a short count at the end and none past it, on several threads
// at once.
TEST(Platform, ReadFileAtReadsAtItsOffsetFromAnyThread) {
    test::TempDir dir;
    std::vector<uint8_t> bytes(10000);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 13 + i / 256);
    test::WriteFileBytes(dir / "file", bytes);
    const platform::FileHandle file = platform::OpenFile((dir / "file").c_str(), false, 1);
    ASSERT_NE(file, platform::kNoFile);
    uint64_t moved = 0;
    ASSERT_TRUE(platform::SeekFile(file, 777, platform::SeekOrigin::Begin, moved));
    const struct {
        uint64_t offset;
        uint32_t count;
        uint32_t got;
    } cases[] = {{0, 16, 16}, {5000, 3000, 3000}, {9990, 100, 10}, {10000, 4, 0}, {123456789012, 4, 0}, {42, 0, 0}};
    for (const auto& c : cases) {
        std::vector<uint8_t> buffer(c.count + 1, 0xEE);
        uint32_t got = 99;
        ASSERT_TRUE(platform::ReadFileAt(file, c.offset, buffer.data(), c.count, got)) << c.offset;
        ASSERT_EQ(got, c.got) << c.offset;
        for (uint32_t i = 0; i < got; ++i) ASSERT_EQ(buffer[i], bytes[static_cast<std::size_t>(c.offset + i)]) << c.offset << "+" << i;
        EXPECT_EQ(buffer[got], 0xEE) << c.offset;
    }
    std::vector<std::thread> readers;
    std::vector<int> wrong(4, 0);
    for (unsigned t = 0; t < 4; ++t) {
        readers.emplace_back([&, t] {
            for (uint32_t step = 0; step < 500; ++step) {
                const uint32_t offset = (step * 7919 + t * 104729) % 9000;
                const uint32_t count = 1 + (step * 31 + t) % 1000;
                std::vector<uint8_t> buffer(count);
                uint32_t got = 0;
                if (!platform::ReadFileAt(file, offset, buffer.data(), count, got) || got != count ||
                    !std::equal(buffer.begin(), buffer.end(), bytes.begin() + static_cast<std::ptrdiff_t>(offset))) {
                    ++wrong[t];
                }
            }
        });
    }
    for (std::thread& reader : readers) reader.join();
    EXPECT_EQ(wrong, std::vector<int>(4, 0));
    EXPECT_TRUE(platform::CloseFile(file));
}

}  // namespace
}  // namespace kbn
