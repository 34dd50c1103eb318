#pragma once

#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

namespace kbn::test {

// Little-endian bytes built field by field, for making test files.
class ByteBuilder {
public:
    ByteBuilder& U8(uint8_t v) {
        bytes_.push_back(v);
        return *this;
    }
    ByteBuilder& U16(uint16_t v) { return U8(static_cast<uint8_t>(v)).U8(static_cast<uint8_t>(v >> 8)); }
    ByteBuilder& S16(int16_t v) { return U16(static_cast<uint16_t>(v)); }
    ByteBuilder& U32(uint32_t v) { return U16(static_cast<uint16_t>(v)).U16(static_cast<uint16_t>(v >> 16)); }
    ByteBuilder& U64(uint64_t v) { return U32(static_cast<uint32_t>(v)).U32(static_cast<uint32_t>(v >> 32)); }
    ByteBuilder& Text(std::string_view text) {
        for (char c : text) bytes_.push_back(static_cast<uint8_t>(c));
        return *this;
    }
    // A fixed-size field: the text, then NUL bytes.
    ByteBuilder& Name(std::string_view text, std::size_t size = 20) {
        for (std::size_t i = 0; i < size; ++i) U8(i < text.size() ? static_cast<uint8_t>(text[i]) : 0);
        return *this;
    }
    ByteBuilder& Bytes(const std::vector<uint8_t>& more) {
        bytes_.insert(bytes_.end(), more.begin(), more.end());
        return *this;
    }
    ByteBuilder& Bytes(std::initializer_list<uint8_t> more) {
        bytes_.insert(bytes_.end(), more.begin(), more.end());
        return *this;
    }
    ByteBuilder& Zeros(std::size_t count) {
        bytes_.insert(bytes_.end(), count, 0);
        return *this;
    }
    // A RIFF chunk: id, size, body and the pad byte after an odd body.
    ByteBuilder& Chunk(std::string_view id, const std::vector<uint8_t>& body) {
        Text(id).U32(static_cast<uint32_t>(body.size())).Bytes(body);
        if (body.size() % 2) U8(0);
        return *this;
    }
    // A LIST chunk of the given type around `body`.
    ByteBuilder& List(std::string_view type, const std::vector<uint8_t>& body) {
        std::vector<uint8_t> inner(type.begin(), type.end());
        inner.insert(inner.end(), body.begin(), body.end());
        return Chunk("LIST", inner);
    }

    const std::vector<uint8_t>& Get() const { return bytes_; }
    std::vector<uint8_t> Take() { return std::move(bytes_); }

private:
    std::vector<uint8_t> bytes_;
};

}  // namespace kbn::test
