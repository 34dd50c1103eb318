#include "import/SourcePcm.h"

#include <algorithm>

#include "bank/NameText.h"
#include "import/OggVorbisDecoder.h"
#include "stream/ByteOrder.h"
#include "stream/Error.h"
#include "stream/StreamIo.h"

namespace kbn {
namespace {

// Interleaved frames are read this many at a time and taken apart.
constexpr uint32_t kFramesPerRead = 16384;

// A compressed sample's PCM, for the read-ahead before it is decoded: Vorbis
// at its usual rates gives some 5 times its size; this errs on the large side.
constexpr uint64_t kPcmBytesPerVorbisByte = 8;

}  // namespace

CSourcePcm::CSourcePcm(CStreamIn& in, std::vector<PcmLocation> locations, std::vector<Name> names,
                       uint64_t largestBuffer)
    : in_(in), locations_(std::move(locations)), names_(std::move(names)), largestBuffer_(largestBuffer) {}

uint64_t CSourcePcm::PcmBytes(uint32_t index) const {
    const PcmLocation& where = locations_[index];
    return where.kind == PcmLocation::Kind::Pcm16 ? 2 * uint64_t{where.frames}
                                                  : kPcmBytesPerVorbisByte * where.bytes;
}

void CSourcePcm::ReadBytes(uint64_t position, uint8_t* dst, uint32_t count) const {
    if (in_.CanReadAt()) {
        in_.ReadAt(position, dst, count);
    } else {
        in_.Seek(position);
        in_.Read(dst, count);
    }
}

std::span<const int16_t> CSourcePcm::Read(uint32_t index, CScratchBuffer<int16_t>& buffer) const {
    const PcmLocation& where = locations_[index];
    if (where.kind == PcmLocation::Kind::OggVorbis) {
        std::vector<uint8_t> stream(where.bytes);
        ReadBytes(where.offset, stream.data(), where.bytes);
        try {
            return DecodeOggVorbis(stream, buffer, largestBuffer_);
        } catch (const CError& e) {
            throw CError("sample " + std::to_string(index) + " " + QuotedName(names_[index]) + ": " + e.what());
        }
    }
    const std::span<int16_t> pcm = buffer.Take(where.frames);
    if (where.stride == 2) {
        if (in_.CanReadAt()) {
            ReadPcm16At(in_, where.offset, pcm.data(), pcm.size());
        } else {
            in_.Seek(where.offset);
            ReadPcm16(in_, pcm.data(), pcm.size());
        }
        return pcm;
    }
    // One channel of interleaved frames: whole frames in large reads, but
    // for the last frame, whose other values may lie past the data.
    std::vector<uint8_t> frames(std::size_t{where.stride} * std::min(where.frames, kFramesPerRead));
    for (uint32_t done = 0; done < where.frames;) {
        const uint32_t n = std::min(where.frames - done, kFramesPerRead);
        const uint32_t bytes = (n - 1) * where.stride + 2;
        ReadBytes(where.offset + uint64_t{done} * where.stride, frames.data(), bytes);
        for (uint32_t i = 0; i < n; ++i) pcm[done + i] = GetS16(frames.data() + std::size_t{i} * where.stride);
        done += n;
    }
    return pcm;
}

}  // namespace kbn
