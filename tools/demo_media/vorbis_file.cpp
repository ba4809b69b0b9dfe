#include "vorbis_file.h"

#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <stdexcept>

namespace demo_media {
namespace {

constexpr int kSerial = 0x0DE0;
constexpr long kChunkFrames = 1024;

// The encoder's objects, cleared in reverse order of their making.
class Encoder {
public:
    explicit Encoder(int rate) {
        vorbis_info_init(&info_);
        if (vorbis_encode_init_vbr(&info_, 2, rate, 0.4f) != 0) {
            vorbis_info_clear(&info_);
            throw std::runtime_error("the Vorbis encoder refuses this format");
        }
        vorbis_comment_init(&comment_);
        vorbis_comment_add_tag(&comment_, "TITLE", "a5audio demo");
        vorbis_analysis_init(&dsp_, &info_);
        vorbis_block_init(&dsp_, &block_);
        ogg_stream_init(&stream_, kSerial);
    }
    ~Encoder() {
        ogg_stream_clear(&stream_);
        vorbis_block_clear(&block_);
        vorbis_dsp_clear(&dsp_);
        vorbis_comment_clear(&comment_);
        vorbis_info_clear(&info_);
    }
    Encoder(const Encoder&) = delete;
    Encoder& operator=(const Encoder&) = delete;

    void headers() {
        ogg_packet id, comments, codebooks;
        vorbis_analysis_headerout(&dsp_, &comment_, &id, &comments, &codebooks);
        ogg_stream_packetin(&stream_, &id);
        ogg_stream_packetin(&stream_, &comments);
        ogg_stream_packetin(&stream_, &codebooks);
        // The first audio page starts on a page of its own.
        ogg_page page;
        while (ogg_stream_flush(&stream_, &page) != 0) append(page);
    }

    // frames == 0 ends the stream.
    void write(const std::int16_t* samples, long frames) {
        if (frames > 0) {
            float** buffer = vorbis_analysis_buffer(&dsp_, static_cast<int>(frames));
            for (long i = 0; i < frames; ++i) {
                buffer[0][i] = samples[2 * i] / 32768.0f;
                buffer[1][i] = samples[2 * i + 1] / 32768.0f;
            }
        }
        vorbis_analysis_wrote(&dsp_, static_cast<int>(frames));
        while (vorbis_analysis_blockout(&dsp_, &block_) == 1) {
            vorbis_analysis(&block_, nullptr);
            vorbis_bitrate_addblock(&block_);
            ogg_packet packet;
            while (vorbis_bitrate_flushpacket(&dsp_, &packet) != 0) {
                ogg_stream_packetin(&stream_, &packet);
                ogg_page page;
                while (ogg_stream_pageout(&stream_, &page) != 0) append(page);
            }
        }
    }

    std::vector<std::uint8_t> finish() {
        ogg_page page;
        while (ogg_stream_flush(&stream_, &page) != 0) append(page);
        return std::move(bytes_);
    }

private:
    void append(const ogg_page& page) {
        bytes_.insert(bytes_.end(), page.header, page.header + page.header_len);
        bytes_.insert(bytes_.end(), page.body, page.body + page.body_len);
    }

    vorbis_info info_{};
    vorbis_comment comment_{};
    vorbis_dsp_state dsp_{};
    vorbis_block block_{};
    ogg_stream_state stream_{};
    std::vector<std::uint8_t> bytes_;
};

}  // namespace

std::vector<std::uint8_t> vorbisBytes(const Pcm& pcm) {
    Encoder encoder(pcm.rate);
    encoder.headers();
    const auto frames = static_cast<long>(pcm.frames());
    for (long at = 0; at < frames; at += kChunkFrames) {
        encoder.write(pcm.samples.data() + 2 * at, std::min(kChunkFrames, frames - at));
    }
    encoder.write(nullptr, 0);
    return encoder.finish();
}

}  // namespace demo_media
