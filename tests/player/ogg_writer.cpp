#include "ogg_writer.h"

#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

namespace orvox::test {

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

bool writePage(std::FILE* out, const ogg_page& page) {
    return std::fwrite(page.header, 1, static_cast<size_t>(page.header_len), out) ==
               static_cast<size_t>(page.header_len) &&
           std::fwrite(page.body, 1, static_cast<size_t>(page.body_len), out) == static_cast<size_t>(page.body_len);
}

bool writeLink(std::FILE* out, const OggLink& link, int serial) {
    vorbis_info info;
    vorbis_info_init(&info);
    if (vorbis_encode_init_vbr(&info, link.channels, link.rate, 0.4f) != 0) {
        vorbis_info_clear(&info);
        return false;
    }
    vorbis_comment comment;
    vorbis_comment_init(&comment);
    vorbis_dsp_state dsp;
    vorbis_block block;
    vorbis_analysis_init(&dsp, &info);
    vorbis_block_init(&dsp, &block);
    ogg_stream_state stream;
    ogg_stream_init(&stream, serial);

    ogg_packet header, commentHeader, codeHeader;
    vorbis_analysis_headerout(&dsp, &comment, &header, &commentHeader, &codeHeader);
    ogg_stream_packetin(&stream, &header);
    ogg_stream_packetin(&stream, &commentHeader);
    ogg_stream_packetin(&stream, &codeHeader);
    bool ok = true;
    ogg_page page;
    while (ok && ogg_stream_flush(&stream, &page) != 0) ok = writePage(out, page);

    const long frames = static_cast<long>(link.samples.size()) / link.channels;
    long done = 0;
    bool ended = false;
    while (ok && !ended) {
        if (done < frames) {
            const long n = std::min(1024L, frames - done);
            float** planes = vorbis_analysis_buffer(&dsp, static_cast<int>(n));
            for (long i = 0; i < n; ++i)
                for (int c = 0; c < link.channels; ++c)
                    planes[c][i] = link.samples[static_cast<size_t>((done + i) * link.channels + c)];
            vorbis_analysis_wrote(&dsp, static_cast<int>(n));
            done += n;
        } else {
            vorbis_analysis_wrote(&dsp, 0);
        }
        while (ok && vorbis_analysis_blockout(&dsp, &block) == 1) {
            vorbis_analysis(&block, nullptr);
            vorbis_bitrate_addblock(&block);
            ogg_packet packet;
            while (ok && vorbis_bitrate_flushpacket(&dsp, &packet) != 0) {
                ogg_stream_packetin(&stream, &packet);
                while (ok && ogg_stream_pageout(&stream, &page) != 0) {
                    ok = writePage(out, page);
                    ended = ended || ogg_page_eos(&page) != 0;
                }
            }
        }
    }
    ogg_stream_clear(&stream);
    vorbis_block_clear(&block);
    vorbis_dsp_clear(&dsp);
    vorbis_comment_clear(&comment);
    vorbis_info_clear(&info);
    return ok;
}

}  // namespace

bool writeOggVorbis(const std::string& path, const std::vector<OggLink>& links) {
    File out(std::fopen(path.c_str(), "wb"));
    if (!out) return false;
    int serial = 1;
    for (const OggLink& link : links)
        if (!writeLink(out.get(), link, serial++)) return false;
    return std::fflush(out.get()) == 0;
}

std::vector<float> sweep(long rate, int channels, double fromHz, double toHz, long frames) {
    std::vector<float> samples(static_cast<size_t>(frames * channels));
    const double seconds = static_cast<double>(frames) / static_cast<double>(rate);
    for (long i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / static_cast<double>(rate);
        const double phase = 2 * M_PI * (fromHz * t + (toHz - fromHz) * t * t / (2 * seconds));
        for (int c = 0; c < channels; ++c) samples[static_cast<size_t>(i * channels + c)] = 0.5f * std::sin(phase);
    }
    return samples;
}

}  // namespace orvox::test
