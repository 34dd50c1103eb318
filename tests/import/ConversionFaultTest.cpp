// Faults injected under a conversion: a read of the source fails in the
// middle, a stream throws at any byte. The user's answer decides between
// going on (the bank is exactly the one a clean run writes) and giving up
// (the failure comes out unchanged). A full disk is tried on whole runs of
// the programs.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <tuple>

#include "import/SoundFontConverter.h"
#include "stream/FailurePrompt.h"
#include "stream/MemoryStream.h"
#include "stream/RvFile.h"
#include "tests/codec/SignalGenerator.h"
#include "tests/support/ScopedPrompt.h"
#include "tests/support/SoundFontBuilder.h"
#include "tests/support/TempDir.h"

namespace kbn {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes NoiseSoundFont() {
    test::TestSoundFont font;
    for (uint32_t i = 0; i < 5; ++i) {
        font.samples.push_back(
            {std::string(1, static_cast<char>('a' + i)), test::MakeSignal(test::Signal::Noise, 60000 + 7 * i, i)});
    }
    font.instruments.push_back({"i", {test::TestSfZone{{{53, 0}}, {}}, test::TestSfZone{{{53, 4}}, {}}}});
    font.presets.push_back({"p", 0, 0, {test::TestSfZone{{{41, 0}}, {}}}});
    return test::BuildSoundFont(font);
}

Bytes Convert(const Bytes& sf2) {
    CMemoryStreamIn in(sf2);
    CMemoryStreamOut out;
    ConvertSoundFont(in, out);
    return out.Bytes();
}

using test::ScopedPrompt;

// The source file as this process's memory, read through /proc/self/mem: one
// page of it is a shared mapping of a file cut short, so reading it fails
// with an I/O error until the file gets its bytes back.
class FlakySource {
public:
    explicit FlakySource(const Bytes& bytes, const test::TempDir& dir) : size_(bytes.size()) {
        const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
        mapped_ = (bytes.size() / page + 1) * page;
        void* region = mmap(nullptr, mapped_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (region == MAP_FAILED) throw std::runtime_error("mmap failed");
        base_ = static_cast<uint8_t*>(region);
        std::memcpy(base_, bytes.data(), bytes.size());
        // The page two thirds of the way in, inside the sample data.
        holeOffset_ = bytes.size() * 2 / 3 / page * page;
        hole_.assign(base_ + holeOffset_, base_ + holeOffset_ + page);
        backing_ = open((dir / "page").c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (backing_ < 0) throw std::runtime_error("cannot create the page file");
        if (mmap(base_ + holeOffset_, page, PROT_READ, MAP_SHARED | MAP_FIXED, backing_, 0) == MAP_FAILED) {
            throw std::runtime_error("cannot map the page file");
        }
    }
    ~FlakySource() {
        munmap(base_, mapped_);
        close(backing_);
    }
    FlakySource(const FlakySource&) = delete;
    FlakySource& operator=(const FlakySource&) = delete;

    uint64_t Address() const { return reinterpret_cast<uintptr_t>(base_); }
    uint64_t Size() const { return size_; }
    // Gives the page its bytes: reading it works from now on.
    void Repair() const {
        if (pwrite(backing_, hole_.data(), hole_.size(), 0) != static_cast<ssize_t>(hole_.size())) {
            throw std::runtime_error("cannot write the page file");
        }
    }

private:
    uint8_t* base_ = nullptr;
    std::size_t mapped_ = 0;
    std::size_t size_ = 0;
    std::size_t holeOffset_ = 0;
    Bytes hole_;
    int backing_ = -1;
};

// A window of a file seen as a file of its own: offsets from `base`. With
// `readAt`, the encoding threads read the samples at their positions.
class CFileWindow final : public CStreamIn {
public:
    CFileWindow(CRvFile& file, uint64_t base, uint64_t size, bool readAt)
        : file_(file), base_(base), size_(size), readAt_(readAt) {
        file_.Seek(base_);
    }
    void Read(void* dst, uint32_t count) override { file_.Read(dst, count); }
    void Seek(uint64_t position) override { file_.Seek(base_ + position); }
    void Skip(int64_t delta) override { file_.Skip(delta); }
    uint64_t GetSize() override { return size_; }
    uint64_t Tell() override { return file_.Tell() - base_; }
    bool CanReadAt() const override { return readAt_; }
    void ReadAt(uint64_t position, void* dst, uint32_t count) const override {
        file_.ReadAt(base_ + position, dst, count);
    }

private:
    CRvFile& file_;
    uint64_t base_;
    uint64_t size_;
    bool readAt_;
};

// Retry or Cancel; reads in order on the caller's thread, or at positions
// on the encoding threads.
class ReadFailureUnderAConversion : public testing::TestWithParam<std::tuple<bool, bool>> {};

TEST_P(ReadFailureUnderAConversion, RetriesOnceTheSourceReadsOrGivesUp) {
    // Named copies: clang 14 cannot capture a structured binding in a lambda.
    const bool retry = std::get<0>(GetParam());
    const bool readAt = std::get<1>(GetParam());
    const Bytes sf2 = NoiseSoundFont();
    test::TempDir dir;
    FlakySource source(sf2, dir);
    std::vector<std::string> texts;
    ScopedPrompt prompt([&](std::string_view, std::string_view text) {
        texts.emplace_back(text);
        if (!retry) return PromptAnswer::Cancel;
        source.Repair();
        return PromptAnswer::Retry;
    });
    CRvFile file;
    file.Open("/proc/self/mem", CRvFile::kAccessRead, 1);
    file.SetName("in.sf2");
    CFileWindow in(file, source.Address(), source.Size(), readAt);
    CMemoryStreamOut out;
    try {
        ConvertSoundFont(in, out, nullptr, 2);
        EXPECT_TRUE(retry);
        EXPECT_EQ(out.Bytes(), Convert(sf2));
    } catch (const CRvFile::Error& e) {
        EXPECT_FALSE(retry);
        EXPECT_EQ(std::string(e.what()), "in.sf2: cannot read: Input/output error");
    }
    EXPECT_EQ(texts, std::vector<std::string>{"Cannot read file. Input/output error"});
}

INSTANTIATE_TEST_SUITE_P(Answers, ReadFailureUnderAConversion, testing::Combine(testing::Bool(), testing::Bool()),
                         [](const testing::TestParamInfo<std::tuple<bool, bool>>& tested) {
                             return std::string(std::get<0>(tested.param) ? "Retry" : "Cancel") +
                                    (std::get<1>(tested.param) ? "ReadAt" : "InOrder");
                         });

// Streams that throw at a given byte, as a failed and cancelled read or
// write does: the conversion ends with that very error, whatever the
// number of threads, without hanging or losing it.
class CFailingOut final : public CStreamOut {
public:
    explicit CFailingOut(uint64_t failAt) : failAt_(failAt) {}
    void Write(const void*, uint32_t count) override {
        if (written_ + count > failAt_) throw CRvFile::Error("out.kbn: cannot write: No space left on device");
        written_ += count;
    }

private:
    uint64_t failAt_;
    uint64_t written_ = 0;
};

class CFailingIn final : public CStreamIn {
public:
    CFailingIn(const Bytes& bytes, uint64_t failAt) : in_(bytes), failAt_(failAt) {}
    void Read(void* dst, uint32_t count) override {
        if (in_.Tell() + count > failAt_) throw CRvFile::Error("in.sf2: cannot read: Input/output error");
        in_.Read(dst, count);
    }
    void Seek(uint64_t position) override { in_.Seek(position); }
    void Skip(int64_t delta) override { in_.Skip(delta); }
    uint64_t GetSize() override { return in_.GetSize(); }
    uint64_t Tell() override { return in_.Tell(); }

private:
    CMemoryStreamIn in_;
    uint64_t failAt_;
};

TEST(StreamFailureUnderAConversion, ComesOutUnchangedAtAnyByteWithAnyThreads) {
    const Bytes sf2 = NoiseSoundFont();
    const std::size_t bankSize = Convert(sf2).size();
    for (const unsigned threads : {1u, 2u, 4u}) {
        for (const double fraction : {0.0, 0.001, 0.2, 0.5, 0.8, 0.999}) {
            SCOPED_TRACE(std::to_string(threads) + " threads, failing at " + std::to_string(fraction));
            CMemoryStreamIn in(sf2);
            CFailingOut out(static_cast<uint64_t>(fraction * static_cast<double>(bankSize)));
            try {
                ConvertSoundFont(in, out, nullptr, threads);
                ADD_FAILURE() << "the write failure was lost";
            } catch (const CRvFile::Error& e) {
                EXPECT_EQ(std::string(e.what()), "out.kbn: cannot write: No space left on device");
            }
            CFailingIn failingIn(sf2, static_cast<uint64_t>(fraction * static_cast<double>(sf2.size())));
            CMemoryStreamOut sink;
            try {
                ConvertSoundFont(failingIn, sink, nullptr, threads);
                ADD_FAILURE() << "the read failure was lost";
            } catch (const CRvFile::Error& e) {
                EXPECT_EQ(std::string(e.what()), "in.sf2: cannot read: Input/output error");
            }
        }
    }
}

}  // namespace
}  // namespace kbn
