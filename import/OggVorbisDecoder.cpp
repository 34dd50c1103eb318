#include "import/OggVorbisDecoder.h"

#define OV_EXCLUDE_STATIC_CALLBACKS
#include <vorbis/vorbisfile.h>

#include <bit>
#include <cstdio>
#include <cstring>
#include <string>

#include "stream/Error.h"

namespace kbn {
namespace {

// The stream in memory, as libvorbisfile reads a file.
struct MemoryCursor {
    std::span<const uint8_t> bytes;
    std::size_t position = 0;
};

std::size_t ReadFromMemory(void* dst, std::size_t size, std::size_t count, void* source) {
    auto& cursor = *static_cast<MemoryCursor*>(source);
    const std::size_t n = std::min(size * count, cursor.bytes.size() - cursor.position);
    if (n > 0) std::memcpy(dst, cursor.bytes.data() + cursor.position, n);
    cursor.position += n;
    return n;
}

int SeekInMemory(void* source, ogg_int64_t offset, int whence) {
    auto& cursor = *static_cast<MemoryCursor*>(source);
    const auto size = static_cast<ogg_int64_t>(cursor.bytes.size());
    const ogg_int64_t base =
        whence == SEEK_SET ? 0 : whence == SEEK_CUR ? static_cast<ogg_int64_t>(cursor.position) : size;
    if (offset < -base || offset > size - base) return -1;
    cursor.position = static_cast<std::size_t>(base + offset);
    return 0;
}

long TellInMemory(void* source) { return static_cast<long>(static_cast<MemoryCursor*>(source)->position); }

std::string Describe(long error) {
    switch (error) {
        case OV_EREAD: return "it cannot be read";
        case OV_ENOTVORBIS: return "it is not Vorbis data";
        case OV_EBADHEADER: return "its Vorbis headers are damaged";
        case OV_EVERSION: return "its Vorbis version is unknown";
        case OV_HOLE: return "pages are missing or damaged";
        case OV_EBADLINK: return "a link in it is damaged";
        default: return "libvorbisfile error " + std::to_string(error);
    }
}

[[noreturn]] void Fail(const std::string& problem) { throw CError("its Ogg Vorbis stream " + problem); }

// Whether the stream's last whole page ends it. A stream cut short still
// decodes, to what its whole pages hold: the missing rest would go unseen.
bool EndsWithItsLastPage(std::span<const uint8_t> stream) {
    ogg_sync_state sync;
    ogg_sync_init(&sync);
    char* buffer = ogg_sync_buffer(&sync, static_cast<long>(stream.size()));
    bool ended = false;
    if (buffer != nullptr) {
        std::memcpy(buffer, stream.data(), stream.size());
        ogg_sync_wrote(&sync, static_cast<long>(stream.size()));
        ogg_page page;
        while (ogg_sync_pageout(&sync, &page) == 1) ended = ogg_page_eos(&page) != 0;
    }
    ogg_sync_clear(&sync);
    return ended;
}

// Closes the decoder however the decoding ends.
class COpenStream {
public:
    explicit COpenStream(MemoryCursor& cursor) {
        const ov_callbacks callbacks{ReadFromMemory, SeekInMemory, nullptr, TellInMemory};
        if (const int error = ov_open_callbacks(&cursor, &file_, nullptr, 0, callbacks); error != 0) {
            Fail("cannot be opened: " + Describe(error));
        }
    }
    ~COpenStream() { ov_clear(&file_); }
    COpenStream(const COpenStream&) = delete;
    COpenStream& operator=(const COpenStream&) = delete;
    OggVorbis_File& File() { return file_; }

private:
    OggVorbis_File file_{};
};

}  // namespace

std::span<const int16_t> DecodeOggVorbis(std::span<const uint8_t> stream, CScratchBuffer<int16_t>& pcm,
                                         uint64_t largestBuffer) {
    MemoryCursor cursor{stream};
    COpenStream open(cursor);
    if (!EndsWithItsLastPage(stream)) Fail("is cut short: its last page is missing");
    OggVorbis_File& file = open.File();
    if (const vorbis_info* info = ov_info(&file, -1); info == nullptr || info->channels != 1) {
        Fail("has " + std::to_string(info != nullptr ? info->channels : 0) + " channels; a sample has one");
    }
    // The length the stream's last page gives: what ov_read delivers.
    const ogg_int64_t total = ov_pcm_total(&file, -1);
    if (total <= 0) Fail(total == 0 ? "holds no samples" : "has no length: " + Describe(static_cast<long>(total)));
    if (2 * static_cast<uint64_t>(total) > largestBuffer) {
        Fail("decodes to " + std::to_string(2 * static_cast<uint64_t>(total)) + " bytes, " + MoreThanThisBuildHolds());
    }
    const std::span<int16_t> out = pcm.Take(static_cast<std::size_t>(total));
    constexpr int kBigEndian = std::endian::native == std::endian::big ? 1 : 0;
    std::size_t done = 0;
    for (;;) {
        const std::size_t room = std::min<std::size_t>(out.size() - done, 2048);
        int section = 0;
        // Room for one more value: a stream that decodes past its length is damaged.
        int16_t spare[1];
        char* to = room > 0 ? reinterpret_cast<char*>(out.data() + done) : reinterpret_cast<char*>(spare);
        const long got = ov_read(&file, to, static_cast<int>(room > 0 ? 2 * room : sizeof spare), kBigEndian, 2, 1,
                                 &section);
        if (got == 0) break;
        if (got < 0) Fail("does not decode at frame " + std::to_string(done) + ": " + Describe(got));
        if (room == 0) Fail("decodes past its length of " + std::to_string(total) + " frames");
        done += static_cast<std::size_t>(got) / 2;
    }
    if (done != out.size()) {
        Fail("decodes to " + std::to_string(done) + " frames, not the " + std::to_string(total) +
             " its last page gives");
    }
    return out;
}

}  // namespace kbn
