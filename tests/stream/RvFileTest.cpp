#include "stream/RvFile.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <random>
#include <thread>

#include "stream/FailurePrompt.h"
#include "stream/MemoryStream.h"
#include "tests/support/ScopedPrompt.h"
#include "tests/support/TempDir.h"

namespace kbn {
namespace {

std::vector<uint8_t> Counting(std::size_t size) {
    std::vector<uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + i / 256);
    return bytes;
}

using test::ScopedPrompt;

class RvFileTest : public testing::Test {
protected:
    std::string MakeFile(const std::vector<uint8_t>& bytes) {
        const std::string path = dir_ / "file.bin";
        test::WriteFileBytes(path, bytes);
        return path;
    }
    test::TempDir dir_;
};

TEST_F(RvFileTest, ReadOfZeroBytesNeedsNoFileButIsRefusedInWriteMode) {
    CRvFile reader;
    reader.Open(MakeFile({1, 2, 3}).c_str(), CRvFile::kAccessRead, 0);
    reader.Read(nullptr, 0);
    EXPECT_EQ(reader.Tell(), 0u);

    CRvFile writer;
    writer.Open((dir_ / "out.bin").c_str(), CRvFile::kAccessWrite, 0);
    EXPECT_THROW(writer.Read(nullptr, 0), CRvFile::Error);
    EXPECT_THROW(reader.Write("x", 1), CRvFile::Error);
}

TEST_F(RvFileTest, ShortReadCopiesWhatThereIsAndThrows) {
    CRvFile file;
    file.Open(MakeFile(Counting(10)).c_str(), CRvFile::kAccessRead, 0);
    uint8_t buffer[8];
    file.Read(buffer, 8);
    uint8_t rest[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    try {
        file.Read(rest, 4);
        FAIL() << "a read past the end must throw";
    } catch (const CRvFile::Error& e) {
        EXPECT_NE(std::string(e.what()).find("unexpected end of file"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("file.bin"), std::string::npos) << e.what();
    }
    const auto expected = Counting(10);
    EXPECT_EQ(rest[0], expected[8]);
    EXPECT_EQ(rest[1], expected[9]);
    EXPECT_EQ(rest[2], 0xEE);
}

TEST_F(RvFileTest, TellSeekAndSkipFollowTheLogicalPosition) {
    const auto bytes = Counting(100);
    CRvFile file;
    file.Open(MakeFile(bytes).c_str(), CRvFile::kAccessRead, 0);
    file.Seek(0);
    EXPECT_EQ(file.Tell(), 0u);
    uint8_t buffer[12];
    file.Read(buffer, 12);
    EXPECT_EQ(file.Tell(), 12u);
    file.Skip(-4);
    EXPECT_EQ(file.Tell(), 8u);
    uint8_t b = 0;
    file.Read(&b, 1);
    EXPECT_EQ(b, bytes[8]);
    EXPECT_EQ(file.GetSize(), 100u);
}

// Random reads, seeks and skips on a real file agree with the same moves
// on bytes in memory: the buffer and the large-read path keep the logical
// position exact.
TEST_F(RvFileTest, RandomAccessAgreesWithMemory) {
    const auto bytes = Counting(50000);
    CRvFile file;
    file.Open(MakeFile(bytes).c_str(), CRvFile::kAccessRead, 0);
    CMemoryStreamIn memory(bytes);
    std::mt19937 random(9);
    for (int step = 0; step < 3000; ++step) {
        const uint64_t position = memory.Tell();
        switch (random() % 4) {
            case 0: {
                const auto n = static_cast<uint32_t>(random() % 2 ? random() % 16 : random() % 9000);
                if (position + n > bytes.size()) break;
                std::vector<uint8_t> a(n), b(n);
                file.Read(a.data(), n);
                memory.Read(b.data(), n);
                ASSERT_EQ(a, b) << "step " << step;
                break;
            }
            case 1: {
                const uint64_t target = random() % bytes.size();
                file.Seek(target);
                memory.Seek(target);
                break;
            }
            case 2: {
                const int64_t delta = static_cast<int64_t>(random() % 10000) - static_cast<int64_t>(position);
                const int64_t bounded = std::min<int64_t>(delta, static_cast<int64_t>(bytes.size() - position));
                file.Skip(bounded);
                memory.Skip(bounded);
                break;
            }
            default:
                break;
        }
        ASSERT_EQ(file.Tell(), memory.Tell()) << "step " << step;
    }
}

TEST_F(RvFileTest, WriteBufferFlushesEveryFullBufferAndCloseWritesTheRest) {
    const std::string path = dir_ / "out.bin";
    CRvFile file;
    file.Open(path.c_str(), CRvFile::kAccessWrite, 0);
    const auto bytes = Counting(4097);
    file.Write(bytes.data(), 4096);
    EXPECT_EQ(std::filesystem::file_size(path), 4096u);  // one full buffer reached the file
    file.Write(bytes.data() + 4096, 1);
    EXPECT_EQ(std::filesystem::file_size(path), 4096u);  // the 4097th byte waits in the buffer
    file.Close();
    EXPECT_EQ(test::ReadFileBytes(path), bytes);
}

TEST_F(RvFileTest, MixedWriteSizesArriveInOrder) {
    const std::string path = dir_ / "out.bin";
    const auto bytes = Counting(200000);
    CRvFile file;
    file.Open(path.c_str(), CRvFile::kAccessWrite, 0);
    std::mt19937 random(1);
    for (std::size_t done = 0; done < bytes.size();) {
        const std::size_t n = std::min<std::size_t>(bytes.size() - done, random() % 3 ? random() % 10 : random() % 20000);
        file.Write(bytes.data() + done, static_cast<uint32_t>(n));
        done += n;
    }
    file.Close();
    EXPECT_EQ(test::ReadFileBytes(path), bytes);
}

TEST_F(RvFileTest, DestroyingReleasesWithoutWritingAndNeverThrows) {
    { CRvFile neverOpened; }
    CRvFile closedTwice;
    closedTwice.Close();

    const std::string path = dir_ / "out.bin";
    {
        CRvFile file;
        file.Open(path.c_str(), CRvFile::kAccessWrite, 0);
        file.Write("abc", 3);
    }
    // Only Close completes a file: what was buffered is dropped.
    EXPECT_EQ(std::filesystem::file_size(path), 0u);
}

TEST_F(RvFileTest, OpeningAMissingFileNamesItAndTheReason) {
    CRvFile file;
    const std::string path = dir_ / "missing.sf2";
    try {
        file.Open(path.c_str(), CRvFile::kAccessRead, 0);
        FAIL();
    } catch (const CRvFile::Error& e) {
        EXPECT_EQ(std::string(e.what()), path + ": cannot open: No such file or directory");
    }
    EXPECT_FALSE(file.IsOpen());
}

TEST_F(RvFileTest, ReadersShareAFileThatWritersCannotTake) {
    const std::string path = MakeFile({1, 2, 3});
    CRvFile first, second, writer;
    first.Open(path.c_str(), CRvFile::kAccessRead, 0);
    second.Open(path.c_str(), CRvFile::kAccessRead, 0);
    try {
        writer.Open(path.c_str(), CRvFile::kAccessWrite, 0);
        FAIL();
    } catch (const CRvFile::Error& e) {
        EXPECT_EQ(std::string(e.what()), path + ": cannot create: The file is locked by another process");
    }
    EXPECT_EQ(test::ReadFileBytes(path), (std::vector<uint8_t>{1, 2, 3}));  // not truncated
    first.Close();
    second.Close();
    writer.Open(path.c_str(), CRvFile::kAccessWrite, 0);
    CRvFile reader;
    EXPECT_THROW(reader.Open(path.c_str(), CRvFile::kAccessRead, 0), CRvFile::Error);
}

// Past a file-size limit the write fails; once the prompt lifts the limit,
// Retry goes on from the first byte that did not reach the file: in the
// buffered bytes that go along with a large write, or in the large write.
TEST_F(RvFileTest, RetryAfterAPartialWriteNeitherLosesNorRepeatsBytes) {
    const struct {
        uint32_t buffered;  // written first, in small pieces
        rlim_t limit;
    } cases[] = {{0, 10000}, {100, 50}, {100, 10000}, {4000, 3000}, {4000, 10000}};
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    for (const auto& c : cases) {
        rlimit limited = saved;
        limited.rlim_cur = c.limit;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
        int asked = 0;
        ScopedPrompt prompt([&](std::string_view, std::string_view text) {
            ++asked;
            EXPECT_EQ(text, "Cannot write file. File too large");
            setrlimit(RLIMIT_FSIZE, &saved);
            return PromptAnswer::Retry;
        });
        const std::string path = dir_ / "out.bin";
        const auto bytes = Counting(30000);
        CRvFile file;
        file.Open(path.c_str(), CRvFile::kAccessWrite, 0);
        for (uint32_t done = 0; done < c.buffered; done += 10) file.Write(bytes.data() + done, 10);
        file.Write(bytes.data() + c.buffered, static_cast<uint32_t>(bytes.size() - c.buffered));
        file.Close();
        setrlimit(RLIMIT_FSIZE, &saved);
        EXPECT_EQ(asked, 1) << c.buffered << " buffered, limit " << c.limit;
        EXPECT_EQ(test::ReadFileBytes(path), bytes) << c.buffered << " buffered, limit " << c.limit;
    }
    std::signal(SIGXFSZ, previousHandler);
}

// Positioned reads, on a file and on memory alike: from several threads at
// once they give the bytes at their positions, and they leave the file's
// buffered reads as they were.
TEST_F(RvFileTest, ReadAtAgreesWithMemoryFromSeveralThreadsBesideBufferedReads) {
    const auto bytes = Counting(50000);
    CRvFile file;
    file.Open(MakeFile(bytes).c_str(), CRvFile::kAccessRead, 0);
    CMemoryStreamIn memory(bytes);
    uint8_t head[10];
    file.Read(head, sizeof head);  // the buffer now holds the file's start
    for (const CStreamIn* stream : {static_cast<const CStreamIn*>(&file), static_cast<const CStreamIn*>(&memory)}) {
        ASSERT_TRUE(stream->CanReadAt());
        std::vector<std::thread> readers;
        std::vector<int> wrong(3, 0);
        for (unsigned t = 0; t < 3; ++t) {
            readers.emplace_back([&, t] {
                std::mt19937 random(t);
                for (int step = 0; step < 300; ++step) {
                    const auto count = static_cast<uint32_t>(random() % 2 ? random() % 16 : random() % 9000);
                    const uint64_t position = random() % (bytes.size() - count + 1);
                    std::vector<uint8_t> got(count);
                    stream->ReadAt(position, got.data(), count);
                    if (!std::equal(got.begin(), got.end(), bytes.begin() + static_cast<std::ptrdiff_t>(position)))
                        ++wrong[t];
                }
            });
        }
        for (std::thread& reader : readers) reader.join();
        EXPECT_EQ(wrong, std::vector<int>(3, 0));
    }
    file.Seek(sizeof head);
    uint8_t next[5000];
    file.Read(next, sizeof next);
    EXPECT_TRUE(std::equal(next, next + sizeof next, bytes.begin() + sizeof head));
}

// Past the end, a positioned read throws what a read does, on a file and
// on memory alike.
TEST_F(RvFileTest, ReadAtPastTheEndNamesTheFileAndTheOffset) {
    CRvFile file;
    file.Open(MakeFile(Counting(100)).c_str(), CRvFile::kAccessRead, 0);
    file.SetName("in.sf2");
    const auto bytes = Counting(100);
    CMemoryStreamIn memory(bytes, "in.sf2");
    const struct {
        uint64_t position;
        uint32_t count;
        const char* error;  // nullptr: no error
    } cases[] = {
        {0, 100, nullptr},
        {100, 0, nullptr},
        {96, 8, "in.sf2: unexpected end of file at offset 100"},
        {100, 1, "in.sf2: unexpected end of file at offset 100"},
        {5000, 2, "in.sf2: unexpected end of file at offset 5000"},
    };
    for (const CStreamIn* stream : {static_cast<const CStreamIn*>(&file), static_cast<const CStreamIn*>(&memory)}) {
        for (const auto& c : cases) {
            std::vector<uint8_t> buffer(c.count);
            try {
                stream->ReadAt(c.position, buffer.data(), c.count);
                EXPECT_EQ(c.error, nullptr) << c.position << "+" << c.count;
            } catch (const CRvFile::Error& e) {
                EXPECT_STREQ(e.what(), c.error) << c.position << "+" << c.count;
            }
        }
    }
    CRvFile writer;
    writer.Open((dir_ / "out.bin").c_str(), CRvFile::kAccessWrite, 0);
    EXPECT_FALSE(writer.CanReadAt());
}

// A read of one byte at `position`, with Read after a Seek or with ReadAt.
using ReadOneByte = uint8_t (*)(CRvFile& file, uint64_t position);
const struct {
    const char* name;
    ReadOneByte read;
} kReadsOfOneByte[] = {
    {"Read", [](CRvFile& file, uint64_t position) {
         file.Seek(position);
         uint8_t byte = 0;
         file.Read(&byte, 1);
         return byte;
     }},
    {"ReadAt", [](CRvFile& file, uint64_t position) {
         uint8_t byte = 0;
         file.ReadAt(position, &byte, 1);
         return byte;
     }},
};

// Reading /proc/self/mem at an address with no mapping fails with EIO;
// mapping the page from the prompt makes Retry succeed.
TEST_F(RvFileTest, ReadFailureAsksAndRetrySucceedsOnceTheCauseIsGone) {
    const long page = sysconf(_SC_PAGESIZE);
    for (const auto& way : kReadsOfOneByte) {
        SCOPED_TRACE(way.name);
        void* address = mmap(nullptr, static_cast<std::size_t>(page), PROT_READ | PROT_WRITE,
                             MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        ASSERT_NE(address, MAP_FAILED);
        munmap(address, static_cast<std::size_t>(page));

        std::vector<std::string> texts;
        ScopedPrompt prompt([&](std::string_view, std::string_view text) {
            texts.emplace_back(text);
            void* mapped = mmap(address, static_cast<std::size_t>(page), PROT_READ | PROT_WRITE,
                                MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
            static_cast<uint8_t*>(mapped)[0] = 0x5A;
            return PromptAnswer::Retry;
        });
        CRvFile file;
        file.Open("/proc/self/mem", CRvFile::kAccessRead, 1);
        EXPECT_EQ(way.read(file, reinterpret_cast<uintptr_t>(address)), 0x5A);
        ASSERT_EQ(texts.size(), 1u);
        EXPECT_EQ(texts[0], "Cannot read file. Input/output error");
        munmap(address, static_cast<std::size_t>(page));
    }
}

TEST_F(RvFileTest, ReadFailureCancelledThrows) {
    ScopedPrompt prompt([](std::string_view, std::string_view) { return PromptAnswer::Cancel; });
    for (const auto& way : kReadsOfOneByte) {
        CRvFile file;
        file.Open("/proc/self/mem", CRvFile::kAccessRead, 1);
        try {
            way.read(file, 0);  // page zero is never mapped
            ADD_FAILURE() << way.name;
        } catch (const CRvFile::Error& e) {
            EXPECT_EQ(std::string(e.what()), "/proc/self/mem: cannot read: Input/output error") << way.name;
        }
    }
}

}  // namespace
}  // namespace kbn
