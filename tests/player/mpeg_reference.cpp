#include "mpeg_reference.h"

#include <mpegaudio/decoder.h>
#include <mpegaudio/file_modules.h>
#include <mpegaudio/mpeg_codec.h>

#include <filesystem>

namespace orvox::test {

MpegDecode decodeMpeg(const std::string& path) {
    MpegDecode out;
    Decoder* d = nullptr;
    if (decoder_create(&d) != MPA_OK) return out;
    decoder_register_codec(d, mpeg_codec_module());
    decoder_register_input(d, file_input_module());
    decoder_attach_input(d, path.c_str(), -1);
    decoder_open_input(d);
    while (decoder_decode(d, nullptr) == MPA_OK) {
        const PcmBlock& b = d->pcm;
        const auto* samples = static_cast<const int16_t*>(b.buffer);
        const size_t count = size_t{b.samples} * b.channels;
        if (out.pcm.empty()) {
            out.firstFrameSamples = count;
            out.channels = b.channels;
            out.rate = b.sample_rate;
        }
        out.pcm.insert(out.pcm.end(), samples, samples + count);
    }
    decoder_destroy(d);
    return out;
}

std::string mpegMedia(const char* name) {
    const std::filesystem::path base(A5_SHARED_DIR);
    const std::filesystem::path path = std::filesystem::path(name).extension() == ".bit"
                                           ? base / "mpeg-vectors" / name
                                           : base / "media" / "mpeg" / name;
    return std::filesystem::exists(path) ? path.string() : std::string();
}

}  // namespace orvox::test
