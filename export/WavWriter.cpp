#include "export/WavWriter.h"

#include <vector>

#include "stream/Error.h"
#include "stream/StreamIo.h"

namespace kbn {
namespace {

constexpr uint32_t kFmtSize = 16;
constexpr uint32_t kSmplSize = 36 + 24;

void WriteChunkHeader(CStreamOut& out, const char (&id)[5], uint32_t size) {
    out.Write(id, 4);
    WriteU32(out, size);
}

}  // namespace

void WriteSampleWav(CStreamOut& out, const SampleRecord& record, std::span<const int16_t> pcm) {
    const uint64_t dataSize = 2 * uint64_t{pcm.size()};
    const uint64_t riffSize = 4 + (8 + kFmtSize) + (8 + kSmplSize) + 8 + dataSize;
    if (riffSize > UINT32_MAX) throw CError("the sample is too long for a WAV file");
    WriteChunkHeader(out, "RIFF", static_cast<uint32_t>(riffSize));
    out.Write("WAVE", 4);

    WriteChunkHeader(out, "fmt ", kFmtSize);
    WriteU16(out, 1);  // PCM
    WriteU16(out, 1);  // mono
    WriteU32(out, record.sampleRate);
    WriteU32(out, record.sampleRate * 2);
    WriteU16(out, 2);
    WriteU16(out, 16);

    WriteChunkHeader(out, "smpl", kSmplSize);
    WriteU32(out, 0);  // manufacturer
    WriteU32(out, 0);  // product
    WriteU32(out, record.sampleRate != 0 ? 1000000000u / record.sampleRate : 0);  // sample period, ns
    WriteU32(out, record.rootKey);
    WriteU32(out, 0);  // pitch fraction
    WriteU32(out, 0);  // SMPTE format
    WriteU32(out, 0);  // SMPTE offset
    WriteU32(out, 1);  // one loop
    WriteU32(out, 0);  // sampler data
    WriteU32(out, 0);  // loop id
    WriteU32(out, 0);  // forward loop
    WriteU32(out, record.loopStart);
    WriteU32(out, record.loopEnd - 1);
    WriteU32(out, 0);  // fraction
    WriteU32(out, 0);  // play forever

    WriteChunkHeader(out, "data", static_cast<uint32_t>(dataSize));
    std::vector<uint8_t> bytes;
    constexpr std::size_t kValuesPerWrite = 32768;
    for (std::size_t done = 0; done < pcm.size(); done += kValuesPerWrite) {
        const std::size_t n = std::min(kValuesPerWrite, pcm.size() - done);
        bytes.resize(2 * n);
        for (std::size_t i = 0; i < n; ++i) PutU16(bytes.data() + 2 * i, static_cast<uint16_t>(pcm[done + i]));
        out.Write(bytes.data(), static_cast<uint32_t>(bytes.size()));
    }
}

}  // namespace kbn
