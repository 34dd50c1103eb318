#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kbn::test {

struct TestWavLoop {
    uint32_t start = 0;
    uint32_t end = 0;  // inclusive, as in the file
};

struct TestWavSampler {
    uint32_t unityNote = 60;
    std::vector<TestWavLoop> loops;
    std::optional<uint32_t> loopCountOverride;  // a count that differs from the loops written
    std::optional<uint32_t> sizeOverride;       // a chunk size that differs from its contents
};

struct TestWavChunk {
    std::string id;
    std::vector<uint8_t> body;
};

// A WAV file described field by field, with every field open to abuse.
struct TestWav {
    uint16_t formatTag = 1;
    uint16_t channels = 1;
    uint32_t sampleRate = 44100;
    uint16_t bitsPerSample = 16;
    std::optional<uint16_t> blockAlign;  // default channels * bits / 8
    std::vector<uint8_t> fmtExtension;   // after the first 16 bytes of the fmt chunk
    uint32_t fmtSize = 16;               // bytes of the fmt chunk (extra ones are zero)
    bool withFmt = true;
    std::vector<int16_t> pcm;            // interleaved
    bool withData = true;
    std::optional<uint32_t> dataSizeOverride;
    std::optional<TestWavSampler> sampler;
    bool samplerAfterData = false;
    std::vector<TestWavChunk> chunksBeforeData;
    std::vector<TestWavChunk> chunksAfterData;  // before a sampler after the data
    std::optional<uint32_t> riffSizeOverride;
    std::string form = "WAVE";
};

std::vector<uint8_t> BuildWav(const TestWav& wav);

// An odd-sized LIST/INFO chunk body, as editors write them.
std::vector<uint8_t> OddInfoList();

}  // namespace kbn::test
