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

#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__)
#define KBN_TEST_FREED_MEMORY 1
#include <sys/resource.h>

#include "tests/support/RunProgram.h"
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

#ifdef KBN_TEST_FREED_MEMORY
long MinorFaults() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

// A buffer of a sample's size, freed and allocated again, comes back without
// a page fault per page: the allocator kept it.
TEST(Platform, FreedMemoryIsKeptForTheNextBuffer) {
    platform::KeepFreedMemory(std::size_t{32} << 20);
    constexpr std::size_t kBytes = std::size_t{8} << 20;
    const auto touch = [] {
        auto buffer = std::make_unique_for_overwrite<uint8_t[]>(kBytes);
        std::memset(buffer.get(), 0x5A, kBytes);
        return static_cast<int>(reinterpret_cast<volatile uint8_t*>(buffer.get())[kBytes / 2]);
    };
    ASSERT_EQ(touch(), 0x5A);
    const long before = MinorFaults();
    ASSERT_EQ(touch(), 0x5A);
    EXPECT_LT(MinorFaults() - before, static_cast<long>(kBytes / 4096 / 8));
}

// The buffers of a few samples, allocated once the heap is set up for huge
// pages, take a page fault per 2 MiB rather than one per 4 KiB, where the
// system offers huge pages. The test runs itself again in a fresh process,
// whose heap is as a program's at its start.
TEST(Platform, HeapBuffersComeInHugePages) {
    constexpr const char* kInChild = "KBN_HUGE_PAGE_HEAP";
    constexpr std::size_t kSampleBytes = 751 * 1000;
    constexpr int kBuffers = 6;
    if (std::getenv(kInChild) != nullptr) {
        platform::KeepFreedMemory(std::size_t{32} << 20);
        platform::UseHugePagesForHeap(std::size_t{32} << 20);
        const long before = MinorFaults();
        std::vector<std::unique_ptr<uint8_t[]>> buffers;
        for (int i = 0; i < kBuffers; ++i) {
            buffers.push_back(std::make_unique_for_overwrite<uint8_t[]>(kSampleBytes));
            std::memset(buffers.back().get(), i, kSampleBytes);
        }
        const long smallPages = static_cast<long>(kBuffers * kSampleBytes / 4096);
        EXPECT_LT(MinorFaults() - before, smallPages / 32);
        return;
    }
    std::ifstream modes("/sys/kernel/mm/transparent_hugepage/enabled");
    std::string mode;
    std::getline(modes, mode);
    if (mode.empty() || mode.find("[never]") != std::string::npos) {
        GTEST_SKIP() << "this system gives no huge pages: " << mode;
    }
    test::ProgramOptions options;
    options.environment = {std::string(kInChild) + "=1"};
    const test::ProgramResult result =
        test::RunProgram({std::filesystem::read_symlink("/proc/self/exe").string(),
                          "--gtest_filter=Platform.HeapBuffersComeInHugePages"},
                         options);
    EXPECT_EQ(result.status, 0) << result.out << result.err;
    EXPECT_NE(result.out.find("[  PASSED  ] 1 test"), std::string::npos) << result.out;
}
#endif

#ifdef __linux__
// The default number of threads: a process held to one core (taskset, a
// container) must not start one per core of the machine.
TEST(Platform, UsableCoreCountFollowsTheAffinity) {
    cpu_set_t all;
    ASSERT_EQ(sched_getaffinity(0, sizeof all, &all), 0);
    int first = 0;
    while (!CPU_ISSET(first, &all)) ++first;
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(first, &one);
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
        for (uint32_t i = 0; i < got; ++i) ASSERT_EQ(buffer[i], bytes[c.offset + i]) << c.offset << "+" << i;
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
                    !std::equal(buffer.begin(), buffer.end(), bytes.begin() + offset)) {
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
