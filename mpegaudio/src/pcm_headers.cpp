#include "pcm_headers.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace mpa {

namespace {

class HeaderWriter {
  public:
    explicit HeaderWriter(PcmHeader& h) : h_(h) {}
    void text(const char* four) {
        std::memcpy(h_.bytes.data() + h_.size, four, 4);
        h_.size += 4;
    }
    void le(std::uint64_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) h_.bytes[h_.size++] = static_cast<std::uint8_t>(v >> (8 * i));
    }
    void be(std::uint64_t v, int bytes) {
        for (int i = bytes - 1; i >= 0; --i) h_.bytes[h_.size++] = static_cast<std::uint8_t>(v >> (8 * i));
    }

  private:
    PcmHeader& h_;
};

std::uint32_t cap32(std::uint64_t v) {
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(v, 0xFFFFFFFFu));
}

// AIFF keeps the sample rate as an 80-bit IEEE extended number: sign and 15-bit exponent,
// then a 64-bit mantissa with an explicit leading one.
void extended(HeaderWriter& w, std::uint32_t rate) {
    if (rate == 0) {
        w.be(0, 2);
        w.be(0, 8);
        return;
    }
    const int top = 31 - std::countl_zero(rate);
    w.be(static_cast<std::uint64_t>(16383 + top), 2);
    w.be(static_cast<std::uint64_t>(rate) << (63 - top), 8);
}

}  // namespace

PcmHeader make_pcm_header(PcmFileFormat format, std::uint64_t data_bytes, std::uint32_t channels,
                          std::uint32_t sample_rate) {
    PcmHeader h;
    HeaderWriter w(h);
    switch (format) {
        case PcmFileFormat::raw:
            break;
        case PcmFileFormat::wav: {
            const std::uint32_t data = cap32(std::min<std::uint64_t>(data_bytes, 0xFFFFFFFFu - 36));
            w.text("RIFF");
            w.le(data + 36u, 4);
            w.text("WAVE");
            w.text("fmt ");
            w.le(16, 4);
            w.le(1, 2);
            w.le(channels, 2);
            w.le(sample_rate, 4);
            w.le(cap32(std::uint64_t{channels} * sample_rate * 2), 4);
            w.le(channels * 2, 2);
            w.le(16, 2);
            w.text("data");
            w.le(data, 4);
            break;
        }
        case PcmFileFormat::aiff: {
            // FORM header, an 18-byte COMM chunk and the SSND chunk's 8-byte offset/block prefix.
            const std::uint32_t data = cap32(std::min<std::uint64_t>(data_bytes, 0xFFFFFFFFu - 46));
            const std::uint32_t frame = channels * 2;
            w.text("FORM");
            w.be(data + 46u, 4);
            w.text("AIFF");
            w.text("COMM");
            w.be(18, 4);
            w.be(channels, 2);
            w.be(frame != 0 ? data / frame : 0, 4);
            w.be(16, 2);
            extended(w, sample_rate);
            w.text("SSND");
            w.be(data + 8u, 4);
            w.be(0, 4);
            w.be(0, 4);
            break;
        }
        case PcmFileFormat::sun:
            w.text(".snd");
            w.be(24, 4);
            w.be(cap32(data_bytes), 4);
            w.be(3, 4);  // 16-bit linear PCM
            w.be(sample_rate, 4);
            w.be(channels, 4);
            break;
    }
    return h;
}

}  // namespace mpa
