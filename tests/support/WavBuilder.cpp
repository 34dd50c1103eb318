#include "tests/support/WavBuilder.h"

#include "tests/support/ByteBuilder.h"

namespace kbn::test {
namespace {

std::vector<uint8_t> SamplerBody(const TestWavSampler& sampler) {
    ByteBuilder body;
    body.U32(0).U32(0).U32(22675).U32(sampler.unityNote).U32(0).U32(0).U32(0);
    body.U32(sampler.loopCountOverride.value_or(static_cast<uint32_t>(sampler.loops.size()))).U32(0);
    for (const TestWavLoop& loop : sampler.loops) body.U32(0).U32(0).U32(loop.start).U32(loop.end).U32(0).U32(0);
    return body.Take();
}

void AppendChunk(ByteBuilder& file, const std::string& id, const std::vector<uint8_t>& body,
                 std::optional<uint32_t> sizeOverride) {
    if (!sizeOverride) {
        file.Chunk(id, body);
        return;
    }
    file.Text(id).U32(*sizeOverride).Bytes(body);
    if (body.size() % 2) file.U8(0);
}

}  // namespace

std::vector<uint8_t> BuildWav(const TestWav& wav) {
    ByteBuilder chunks;
    if (wav.withFmt) {
        ByteBuilder fmt;
        fmt.U16(wav.formatTag).U16(wav.channels).U32(wav.sampleRate);
        const uint16_t align = wav.blockAlign.value_or(static_cast<uint16_t>(wav.channels * wav.bitsPerSample / 8));
        fmt.U32(wav.sampleRate * align).U16(align).U16(wav.bitsPerSample);
        fmt.Bytes(wav.fmtExtension);
        std::vector<uint8_t> body = fmt.Take();
        body.resize(wav.fmtSize, 0);
        chunks.Chunk("fmt ", body);
    }
    if (wav.sampler && !wav.samplerAfterData) {
        AppendChunk(chunks, "smpl", SamplerBody(*wav.sampler), wav.sampler->sizeOverride);
    }
    for (const TestWavChunk& chunk : wav.chunksBeforeData) chunks.Chunk(chunk.id, chunk.body);
    if (wav.withData) {
        ByteBuilder data;
        for (int16_t v : wav.pcm) data.S16(v);
        AppendChunk(chunks, "data", data.Get(), wav.dataSizeOverride);
    }
    for (const TestWavChunk& chunk : wav.chunksAfterData) chunks.Chunk(chunk.id, chunk.body);
    if (wav.sampler && wav.samplerAfterData) {
        AppendChunk(chunks, "smpl", SamplerBody(*wav.sampler), wav.sampler->sizeOverride);
    }

    ByteBuilder file;
    file.Text("RIFF").U32(wav.riffSizeOverride.value_or(static_cast<uint32_t>(4 + chunks.Get().size())));
    file.Text(wav.form).Bytes(chunks.Get());
    return file.Take();
}

std::vector<uint8_t> OddInfoList() {
    ByteBuilder info;
    // 17 bytes: the chunk that holds it needs a pad byte.
    info.Text("INFO").Text("INAM").U32(5).Text("odd").U8(0).Text("x");
    return info.Take();
}

}  // namespace kbn::test
