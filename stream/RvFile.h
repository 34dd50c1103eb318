#pragma once

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/Platform.h"
#include "stream/Error.h"
#include "stream/StreamIn.h"
#include "stream/StreamOut.h"

namespace kbn {

// A file behind a 4096-byte buffer: read-ahead when opened for reading,
// write-behind when opened for writing. The mode is fixed by Open.
//
// Read mode keeps 0 <= cursor <= level <= 4096, with the system's file
// position `level - cursor` bytes beyond the logical position. Write mode
// keeps cursor at 0 and level (the bytes waiting) below 4096 between calls.
class CRvFile final : public CStreamIn, public CStreamOut {
public:
    // Every failure of the file: it names the file and the reason.
    class Error : public CError {
    public:
        using CError::CError;
    };

    static constexpr uint32_t kBufferSize = 4096;
    // The most that one write hands to the system at once.
    static constexpr uint32_t kMaxDirectWrite = uint32_t{1} << 30;
    // Access rights, with the values the Windows API gives them.
    static constexpr uint32_t kAccessRead = 0x80000000u;
    static constexpr uint32_t kAccessWrite = 0x40000000u;

    CRvFile() = default;
    CRvFile(const CRvFile&) = delete;
    CRvFile& operator=(const CRvFile&) = delete;
    // Releases the handle without writing what is still buffered: a file
    // that was not closed with Close() is incomplete by definition.
    ~CRvFile() override;

    // kAccessWrite creates the file or truncates it; any other access opens
    // an existing file for reading. Share 0 asks for exclusive use.
    void Open(const char* path, uint32_t access, uint32_t share);
    // Writes what is buffered and closes; throws when either fails. Closing a
    // file that is not open does nothing.
    void Close();
    // Closes without writing what is buffered and without reporting failure.
    void Release() noexcept;
    // The name that messages give the file (the path it was opened with,
    // unless set otherwise).
    void SetName(std::string name) { name_ = std::move(name); }
    // Whether a failed read or write asks the user to retry (on by
    // default); off, it fails at once, as a library's file must.
    void SetAskOnFailure(bool on) { askOnFailure_ = on; }
    // Whether to ask the system, every few MiB written, to start writing
    // them back (on by default). It pays when the file will be renamed over
    // another, which makes ext4 write the new one out at once; a file that
    // replaces nothing only pays for the requests.
    void SetEarlyWriteBack(bool on) { earlyWriteBack_ = on; }

    void Read(void* dst, uint32_t count) override;
    // In read mode: straight from the system, the buffer neither used nor
    // changed, so that the buffered reads go on as before after a Seek.
    bool CanReadAt() const override { return !writing_; }
    void ReadAt(uint64_t position, void* dst, uint32_t count) const override;
    void Write(const void* src, uint32_t count) override;
    void Seek(uint64_t position) override;
    void Skip(int64_t delta) override;
    uint64_t GetSize() override;
    uint64_t Tell() override;

    bool IsOpen() const { return handle_ != platform::kNoFile; }
    const std::string& Name() const { return name_; }

private:
    void Fill();
    void Flush();
    void ReadDirect(uint8_t* dst, uint32_t count);
    template <typename ReadSome, typename EndOffset>
    void ReadFully(uint8_t* dst, uint32_t count, ReadSome readSome, EndOffset endOffset) const;
    // Writes `src` and then `more` (both whole, retrying as the user asks).
    void WriteDirect(const uint8_t* src, uint32_t count, const uint8_t* more = nullptr, uint32_t moreCount = 0);
    void AskForWriteBack();
    void MovePlatformPosition(int64_t offset, platform::SeekOrigin origin, const char* what);
    platform::PromptAnswer Ask(std::string_view textTemplate, int code) const;
    [[noreturn]] void Fail(const std::string& problem) const;
    [[noreturn]] void FailWithSystemError(const char* action, int code) const;

    platform::FileHandle handle_ = platform::kNoFile;
    uint32_t cursor_ = 0;
    uint32_t level_ = 0;
    bool writing_ = false;
    // Bytes written since the system was last asked to start writing back.
    static constexpr uint64_t kWriteBackStep = uint64_t{4} << 20;
    uint64_t unhinted_ = 0;
    bool earlyWriteBack_ = true;
    bool askOnFailure_ = true;
    std::string name_;
    std::array<uint8_t, kBufferSize> buffer_{};
};

}  // namespace kbn
