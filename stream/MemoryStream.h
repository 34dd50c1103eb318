#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "stream/StreamIn.h"
#include "stream/StreamOut.h"

namespace kbn {

// An input stream over bytes in memory, failing like a file does (with
// CRvFile::Error) when a read runs past the end.
class CMemoryStreamIn final : public CStreamIn {
public:
    explicit CMemoryStreamIn(std::span<const uint8_t> bytes, std::string name = "<memory>")
        : bytes_(bytes), name_(std::move(name)) {}

    void Read(void* dst, uint32_t count) override;
    void Seek(uint64_t position) override;
    void Skip(int64_t delta) override;
    uint64_t GetSize() override { return bytes_.size(); }
    uint64_t Tell() override { return position_; }
    bool CanReadAt() const override { return true; }
    void ReadAt(uint64_t position, void* dst, uint32_t count) const override;

private:
    std::span<const uint8_t> bytes_;
    std::string name_;
    uint64_t position_ = 0;
};

// An output stream that collects everything written to it.
class CMemoryStreamOut final : public CStreamOut {
public:
    void Write(const void* src, uint32_t count) override;
    std::span<uint8_t> OpenArea(std::size_t count) override;
    void CloseArea(std::size_t used) override;
    const std::vector<uint8_t>& Bytes() const { return bytes_; }
    // Empties the stream, keeping its memory for the next use.
    void Clear() { bytes_.clear(); }
    // Empties the stream and gives its memory back.
    void Release() { std::vector<uint8_t>().swap(bytes_); }

private:
    std::vector<uint8_t> bytes_;
    std::size_t areaStart_ = 0;
};

}  // namespace kbn
