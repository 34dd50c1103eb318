#include "tests/support/OggVorbisEncoder.h"

#include <vorbis/vorbisenc.h>

#include <stdexcept>

namespace kbn::test {
namespace {

void Append(std::vector<uint8_t>& out, const ogg_page& page) {
    out.insert(out.end(), page.header, page.header + page.header_len);
    out.insert(out.end(), page.body, page.body + page.body_len);
}

}  // namespace

std::vector<uint8_t> EncodeOggVorbis(const std::vector<int16_t>& pcm, int channels, long sampleRate) {
    vorbis_info info;
    vorbis_info_init(&info);
    if (vorbis_encode_init_vbr(&info, channels, sampleRate, 0.4f) != 0) throw std::runtime_error("vorbisenc");
    vorbis_comment comment;
    vorbis_comment_init(&comment);
    vorbis_dsp_state dsp;
    vorbis_analysis_init(&dsp, &info);
    vorbis_block block;
    vorbis_block_init(&dsp, &block);
    ogg_stream_state stream;
    ogg_stream_init(&stream, 1);

    std::vector<uint8_t> out;
    ogg_packet headers[3];
    vorbis_analysis_headerout(&dsp, &comment, &headers[0], &headers[1], &headers[2]);
    for (ogg_packet& header : headers) ogg_stream_packetin(&stream, &header);
    ogg_page page;
    while (ogg_stream_flush(&stream, &page) != 0) Append(out, page);

    const auto frames = static_cast<int>(pcm.size() / static_cast<std::size_t>(channels));
    float** buffer = vorbis_analysis_buffer(&dsp, frames);
    for (int i = 0; i < frames; ++i) {
        for (int c = 0; c < channels; ++c) {
            buffer[c][i] = static_cast<float>(pcm[static_cast<std::size_t>(i * channels + c)]) / 32768.0f;
        }
    }
    vorbis_analysis_wrote(&dsp, frames);
    vorbis_analysis_wrote(&dsp, 0);
    ogg_packet packet;
    while (vorbis_analysis_blockout(&dsp, &block) == 1) {
        vorbis_analysis(&block, nullptr);
        vorbis_bitrate_addblock(&block);
        while (vorbis_bitrate_flushpacket(&dsp, &packet) != 0) {
            ogg_stream_packetin(&stream, &packet);
            while (ogg_stream_pageout(&stream, &page) != 0) Append(out, page);
        }
    }
    while (ogg_stream_flush(&stream, &page) != 0) Append(out, page);

    ogg_stream_clear(&stream);
    vorbis_block_clear(&block);
    vorbis_dsp_clear(&dsp);
    vorbis_comment_clear(&comment);
    vorbis_info_clear(&info);
    return out;
}

}  // namespace kbn::test
