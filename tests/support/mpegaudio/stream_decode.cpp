#include "stream_decode.h"

#include <mpegaudio/mpeg_codec.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "error_trap.h"
#include "memory_source.h"

namespace mpa::test {

std::vector<uint8_t> read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<int16_t> read_pcm(const std::string& path) {
    const std::vector<uint8_t> bytes = read_file(path);
    std::vector<int16_t> samples(bytes.size() / 2);
    for (size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<int16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
    }
    return samples;
}

namespace {

// Runs `step` (decode one frame into `pcm`: a status, and the frame's shape in `frame`) until
// it ends, collecting the PCM; -700 frames are counted and skipped.
template <class Step>
Decoded collect(uint32_t max_frames, int16_t* pcm, Step step) {
    Decoded d;
    while (d.frames + d.fatal < max_frames) {
        PcmFrame frame;
        const int32_t rc = step(frame);
        if (rc == MPA_E_FATAL) {
            ++d.fatal;
            continue;
        }
        if (rc != 0) {
            d.end = rc;
            break;
        }
        ++d.frames;
        d.channels = frame.channels;
        d.sample_rate = frame.sample_rate;
        d.pcm.insert(d.pcm.end(), pcm, pcm + frame.samples * frame.channels);
    }
    return d;
}

}  // namespace

Decoded decode_stream(const std::vector<uint8_t>& bytes, const DecodeOptions& options) {
    MemorySource memory{bytes};
    auto decoder = std::make_unique<FrameDecoder>(memory.source());
    decoder->set_channel_mode(options.channel_mode);
    decoder->set_downsampling(options.downsampling);
    std::vector<int16_t> pcm(kMaxFrameSamples);
    return collect(options.max_frames, pcm.data(), [&](PcmFrame& frame) -> int32_t {
        try {
            return decoder->decode(pcm.data(), frame);
        } catch (const FatalDecodeError&) {
            return MPA_E_FATAL;
        }
    });
}

DecoderSession::DecoderSession(std::vector<uint8_t> bytes, bool seekable)
    : data_{std::move(bytes), seekable} {
    decoder_create(&d_);
}

DecoderSession::~DecoderSession() {
    decoder_destroy(d_);
}

int32_t DecoderSession::open() {
    if (const int32_t id = decoder_register_codec(d_, mpeg_codec_module()); id < 0) return id;
    if (const int32_t id = decoder_register_input(d_, memory_input_module()); id < 0) return id;
    if (const int32_t rc = decoder_attach_input(d_, memory_input_name(&data_).c_str(), -1); rc != 0)
        return rc;
    return decoder_open_input(d_);
}

Decoded DecoderSession::decode_all(uint32_t max_frames) {
    std::vector<int16_t> pcm(static_cast<size_t>(d_->codec.max_bytes) / 2);
    return collect(max_frames, pcm.data(), [&](PcmFrame& frame) {
        const int32_t rc = decoder_decode(d_, pcm.data());
        frame = PcmFrame{d_->pcm.samples, d_->pcm.channels, d_->pcm.sample_rate};
        return rc;
    });
}

Decoded decode_with_decoder(const std::vector<uint8_t>& bytes, const DecodeOptions& options) {
    DecoderSession session(bytes);
    decoder_set_channel_mode(session.get(), static_cast<int32_t>(options.channel_mode));
    decoder_set_downsampling(session.get(), static_cast<int32_t>(options.downsampling));
    if (const int32_t rc = session.open(); rc != 0) {
        Decoded failed;
        failed.end = rc;
        return failed;
    }
    return session.decode_all(options.max_frames);
}

std::string vectors_dir() {
    const std::string dir = std::string(A5_SHARED_DIR) + "/mpeg-vectors";
    return std::filesystem::is_directory(dir) ? dir : std::string{};
}

}  // namespace mpa::test
