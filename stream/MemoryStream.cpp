#include "stream/MemoryStream.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "stream/RvFile.h"

namespace kbn {

void CMemoryStreamIn::Read(void* dst, uint32_t count) {
    // A read past the end leaves the position at the end, as a file's does.
    const uint64_t at = position_;
    position_ = at + std::min<uint64_t>(at < bytes_.size() ? bytes_.size() - at : 0, count);
    ReadAt(at, dst, count);
}

void CMemoryStreamIn::ReadAt(uint64_t position, void* dst, uint32_t count) const {
    if (count == 0) return;
    const uint64_t available = position < bytes_.size() ? bytes_.size() - position : 0;
    const uint64_t n = std::min<uint64_t>(available, count);
    if (n > 0) std::memcpy(dst, bytes_.data() + position, static_cast<std::size_t>(n));
    if (n < count) {
        throw CRvFile::Error("unexpected end of file at offset " + std::to_string(position + n), name_);
    }
}

void CMemoryStreamIn::Seek(uint64_t position) { position_ = position; }

void CMemoryStreamIn::Skip(int64_t delta) {
    if (delta < 0 && static_cast<uint64_t>(-delta) > position_) {
        throw CRvFile::Error("cannot skip before the start of the file", name_);
    }
    position_ += static_cast<uint64_t>(delta);
}

void CMemoryStreamOut::Write(const void* src, uint32_t count) {
    const auto* bytes = static_cast<const uint8_t*>(src);
    bytes_.insert(bytes_.end(), bytes, bytes + count);
}

std::span<uint8_t> CMemoryStreamOut::OpenArea(std::size_t count) {
    areaStart_ = bytes_.size();
    bytes_.resize(areaStart_ + count);
    return {bytes_.data() + areaStart_, count};
}

void CMemoryStreamOut::CloseArea(std::size_t used) {
    if (areaStart_ + used > bytes_.size()) throw std::logic_error("CMemoryStreamOut: area overrun");
    bytes_.resize(areaStart_ + used);
}

}  // namespace kbn
