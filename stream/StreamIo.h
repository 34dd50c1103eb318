#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>

#include "stream/ByteOrder.h"
#include "stream/StreamIn.h"
#include "stream/StreamOut.h"

// Field-width reads and writes over the stream interfaces. Each field is one
// Read or Write call of its own width.
namespace kbn {

inline uint8_t ReadU8(CStreamIn& in) {
    uint8_t b = 0;
    in.Read(&b, 1);
    return b;
}

inline uint16_t ReadU16(CStreamIn& in) {
    uint8_t b[2];
    in.Read(b, 2);
    return GetU16(b);
}

inline uint32_t ReadU32(CStreamIn& in) {
    uint8_t b[4];
    in.Read(b, 4);
    return GetU32(b);
}

// A RIFF chunk id or form type: four raw bytes.
using FourCC = std::array<char, 4>;

constexpr FourCC MakeFourCC(const char (&text)[5]) {
    return FourCC{text[0], text[1], text[2], text[3]};
}

inline FourCC ReadFourCC(CStreamIn& in) {
    FourCC id{};
    in.Read(id.data(), 4);
    return id;
}

// Reads `count` little-endian 16-bit samples in as few calls as the stream
// allows, through `read(byteOffset, dst, bytes)`.
template <typename ReadBytes>
void ReadPcm16With(ReadBytes read, int16_t* dst, uint64_t count) {
    constexpr uint64_t kMaxPerRead = uint64_t{1} << 30;
    for (uint64_t done = 0; done < count;) {
        const uint64_t n = count - done < kMaxPerRead ? count - done : kMaxPerRead;
        read(2 * done, dst + done, static_cast<uint32_t>(n * 2));
        done += n;
    }
    if constexpr (std::endian::native == std::endian::big) {
        for (uint64_t i = 0; i < count; ++i) {
            const auto v = static_cast<uint16_t>(dst[i]);
            dst[i] = static_cast<int16_t>(static_cast<uint16_t>((v >> 8) | (v << 8)));
        }
    }
}

// From the stream's position on.
inline void ReadPcm16(CStreamIn& in, int16_t* dst, uint64_t count) {
    ReadPcm16With([&in](uint64_t, int16_t* to, uint32_t bytes) { in.Read(to, bytes); }, dst, count);
}

// From byte `position` on, with ReadAt: safe on several threads at once.
inline void ReadPcm16At(const CStreamIn& in, uint64_t position, int16_t* dst, uint64_t count) {
    ReadPcm16With(
        [&in, position](uint64_t offset, int16_t* to, uint32_t bytes) { in.ReadAt(position + offset, to, bytes); },
        dst, count);
}

inline void WriteU8(CStreamOut& out, uint8_t v) { out.Write(&v, 1); }

inline void WriteU16(CStreamOut& out, uint16_t v) {
    uint8_t b[2];
    PutU16(b, v);
    out.Write(b, 2);
}

inline void WriteU32(CStreamOut& out, uint32_t v) {
    uint8_t b[4];
    PutU32(b, v);
    out.Write(b, 4);
}

inline void WriteU64(CStreamOut& out, uint64_t v) {
    uint8_t b[8];
    PutU64(b, v);
    out.Write(b, 8);
}

// Bytes of any size, in as few calls as the stream's 32-bit counts allow.
inline void WriteBytes(CStreamOut& out, std::span<const uint8_t> bytes) {
    constexpr std::size_t kMaxPerWrite = std::size_t{1} << 30;
    for (std::size_t done = 0; done < bytes.size(); done += kMaxPerWrite) {
        const std::size_t n = bytes.size() - done < kMaxPerWrite ? bytes.size() - done : kMaxPerWrite;
        out.Write(bytes.data() + done, static_cast<uint32_t>(n));
    }
}

}  // namespace kbn
