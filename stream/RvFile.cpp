#include "stream/RvFile.h"

#include <algorithm>
#include <cstring>

#include "stream/FailurePrompt.h"

namespace kbn {

CRvFile::~CRvFile() { Release(); }

void CRvFile::Release() noexcept {
    if (IsOpen()) platform::CloseFile(handle_);
    handle_ = platform::kNoFile;
    cursor_ = 0;
    level_ = 0;
}

void CRvFile::Open(const char* path, uint32_t access, uint32_t share) {
    if (IsOpen()) Fail("the file object is already open");
    name_ = path;
    writing_ = access == kAccessWrite;
    cursor_ = 0;
    level_ = 0;
    unhinted_ = 0;
    handle_ = platform::OpenFile(path, writing_, share);
    if (!IsOpen()) {
        FailWithSystemError(writing_ ? "cannot create" : "cannot open", platform::LastError());
    }
}

void CRvFile::Close() {
    if (!IsOpen()) return;
    if (writing_) {
        Flush();
        level_ = 0;
    }
    const platform::FileHandle handle = handle_;
    handle_ = platform::kNoFile;
    if (!platform::CloseFile(handle)) FailWithSystemError("cannot close", platform::LastError());
}

void CRvFile::Read(void* dst, uint32_t count) {
    if (writing_) Fail("cannot read a file opened for writing");
    auto* out = static_cast<uint8_t*>(dst);
    while (count > 0) {
        if (cursor_ == level_) {
            // A large read bypasses the buffer: one system call, same result.
            if (count >= kBufferSize) {
                cursor_ = level_ = 0;
                ReadDirect(out, count);
                return;
            }
            Fill();
            cursor_ = 0;
        }
        const uint32_t n = std::min(level_ - cursor_, count);
        if (n == 0) Fail("unexpected end of file at offset " + std::to_string(Tell()));
        std::memcpy(out, buffer_.data() + cursor_, n);
        cursor_ += n;
        out += n;
        count -= n;
    }
}

void CRvFile::ReadAt(uint64_t position, void* dst, uint32_t count) const {
    if (writing_) Fail("cannot read a file opened for writing");
    const auto readSome = [&](uint8_t* to, uint32_t n, uint32_t& got) {
        if (!platform::ReadFileAt(handle_, position, to, n, got)) return false;
        position += got;
        return true;
    };
    ReadFully(static_cast<uint8_t*>(dst), count, readSome, [&] { return position; });
}

void CRvFile::Write(const void* src, uint32_t count) {
    if (!writing_) Fail("cannot write a file opened for reading");
    const auto* in = static_cast<const uint8_t*>(src);
    while (count > 0) {
        if (count >= kBufferSize) {
            // A large write goes to the system at once, the buffered bytes
            // before it in the same call, in whole buffers: the file still
            // grows a buffer at a time, and the tail waits in the buffer.
            const uint64_t whole = std::min<uint64_t>(level_ + uint64_t{count}, kMaxDirectWrite);
            const auto direct = static_cast<uint32_t>(whole - whole % kBufferSize - level_);
            WriteDirect(buffer_.data(), level_, in, direct);
            level_ = 0;
            in += direct;
            count -= direct;
            continue;
        }
        const uint32_t n = std::min(kBufferSize - level_, count);
        std::memcpy(buffer_.data() + level_, in, n);
        level_ += n;
        in += n;
        count -= n;
        if (level_ == kBufferSize) {
            Flush();
            level_ = 0;
        }
    }
}

void CRvFile::Seek(uint64_t position) {
    if (writing_) Flush();
    cursor_ = 0;
    level_ = 0;
    MovePlatformPosition(static_cast<int64_t>(position), platform::SeekOrigin::Begin, "seek");
}

void CRvFile::Skip(int64_t delta) {
    // In read mode the system position is ahead of the logical one by the
    // unread part of the buffer; in write mode it is there once flushed.
    int64_t target = delta;
    if (writing_) {
        Flush();
    } else {
        target += static_cast<int32_t>(cursor_ - level_);
    }
    cursor_ = 0;
    level_ = 0;
    MovePlatformPosition(target, platform::SeekOrigin::Current, "skip");
}

uint64_t CRvFile::Tell() {
    if (!IsOpen()) Fail("the file is not open");
    uint64_t position = 0;
    if (!platform::SeekFile(handle_, 0, platform::SeekOrigin::Current, position)) {
        FailWithSystemError("cannot tell the position", platform::LastError());
    }
    if (writing_) return position + level_;
    return position + static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(cursor_ - level_)));
}

uint64_t CRvFile::GetSize() {
    if (!IsOpen()) Fail("the file is not open");
    uint64_t size = 0;
    if (!platform::GetFileSize(handle_, size)) {
        FailWithSystemError("cannot get the size", platform::LastError());
    }
    return size;
}

void CRvFile::Fill() {
    if (writing_) return;
    if (!IsOpen()) Fail("the file is not open");
    for (;;) {
        uint32_t got = 0;
        if (platform::ReadFile(handle_, buffer_.data(), kBufferSize, got)) {
            level_ = got;
            return;
        }
        const int code = platform::LastError();
        if (Ask(kReadFailureTemplate, code) != PromptAnswer::Retry) {
            level_ = 0;
            FailWithSystemError("cannot read", code);
        }
    }
}

void CRvFile::ReadDirect(uint8_t* dst, uint32_t count) {
    const auto readSome = [this](uint8_t* to, uint32_t n, uint32_t& got) {
        return platform::ReadFile(handle_, to, n, got);
    };
    ReadFully(dst, count, readSome, [this] { return Tell(); });
}

// Reads all `count` bytes with readSome(dst, n, got), one system read that
// may give fewer. A failure asks Retry or Cancel; a file that ends first
// fails with endOffset(), where it ended.
template <typename ReadSome, typename EndOffset>
void CRvFile::ReadFully(uint8_t* dst, uint32_t count, ReadSome readSome, EndOffset endOffset) const {
    if (!IsOpen()) Fail("the file is not open");
    while (count > 0) {
        uint32_t got = 0;
        if (!readSome(dst, count, got)) {
            const int code = platform::LastError();
            if (Ask(kReadFailureTemplate, code) == PromptAnswer::Retry)
                continue;
            FailWithSystemError("cannot read", code);
        }
        if (got == 0) Fail("unexpected end of file at offset " + std::to_string(endOffset()));
        dst += got;
        count -= got;
    }
}

void CRvFile::Flush() {
    if (!writing_) return;
    WriteDirect(buffer_.data(), level_);
}

void CRvFile::WriteDirect(const uint8_t* src, uint32_t count, const uint8_t* more, uint32_t moreCount) {
    const uint32_t total = count + moreCount;
    if (total == 0) return;
    if (!IsOpen()) Fail("the file is not open");
    uint32_t written = 0;
    while (!platform::WriteFile(handle_, src, count, more, moreCount, written)) {
        const uint32_t fromSrc = std::min(written, count);
        src += fromSrc;
        count -= fromSrc;
        if (const uint32_t fromMore = written - fromSrc; fromMore != 0) {
            more += fromMore;
            moreCount -= fromMore;
        }
        const int code = platform::LastError();
        if (Ask(kWriteFailureTemplate, code) != PromptAnswer::Retry)
            FailWithSystemError("cannot write", code);
    }
    // All of it, the part written before a retry too.
    unhinted_ += total;
    AskForWriteBack();
}

void CRvFile::AskForWriteBack() {
    if (earlyWriteBack_ && unhinted_ >= kWriteBackStep) {
        platform::StartWriteBack(handle_);
        unhinted_ = 0;
    }
}

void CRvFile::MovePlatformPosition(int64_t offset, platform::SeekOrigin origin, const char* what) {
    if (!IsOpen()) Fail("the file is not open");
    uint64_t position = 0;
    if (!platform::SeekFile(handle_, offset, origin, position)) {
        FailWithSystemError((std::string("cannot ") + what).c_str(), platform::LastError());
    }
}

PromptAnswer CRvFile::Ask(std::string_view textTemplate, int code) const {
    if (!askOnFailure_) return PromptAnswer::Cancel;
    return AskAfterFailure(textTemplate, platform::ErrorText(code));
}

void CRvFile::Fail(const std::string& problem) const {
    throw Error(problem, name_);
}

void CRvFile::FailWithSystemError(const char* action, int code) const {
    Fail(std::string(action) + ": " + platform::ErrorText(code));
}

}  // namespace kbn
