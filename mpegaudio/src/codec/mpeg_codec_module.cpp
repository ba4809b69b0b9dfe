// The MPEG audio codec as a module of the decoder: stream analysis, seeking fractions,
// per-frame decoding and what the stream reports about itself.
#include <mpegaudio/mpeg_codec.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <new>

#include "codec/frame_decoder.h"
#include "codec/stream_analysis.h"
#include "export_guard.h"

namespace mpa {

namespace {

constexpr const char* kContentType = "audio/mpeg";
constexpr uint32_t kUnknown = 0xFFFFFFFFu;  // header cache entry that matches no stream

int32_t read_service(void* ctx, uint8_t* buf, uint32_t n) {
    auto* d = static_cast<Decoder*>(ctx);
    return d->services.read_input(d, buf, static_cast<int32_t>(n));
}

// The short text that goes with each recoverable stream error to the error callback.
const char* stream_error_text(int32_t error) {
    switch (error) {
        case MPA_E_LOST_SYNC:
            return "lost sync: bytes skipped up to the next frame";
        case MPA_E_BAD_HEADER:
            return "damaged frame header skipped";
        case MPA_E_MAIN_DATA:
            return "main data reaches before the data received: frame silenced";
        default:
            return "Huffman big values ran past the granule's bits";
    }
}

struct MpegCodec {
    MpegCodec(Decoder* d, int32_t id) : decoder(d), module_id(id), frames(ByteSource{&read_service, d}) {}

    Decoder* decoder;
    int32_t module_id;
    FrameDecoder frames;
    // What was last reported about the stream.
    bool vbr = false;
    uint32_t level = kUnknown, layer = kUnknown, mode = kUnknown, bitrate = 0, sample_rate = 0;
    uint32_t average = 0;  // running bitrate, kbit/s x 1024
    std::unique_ptr<std::array<uint8_t, 100>> seek_table;
    uint64_t audio_size = 0;
    uint64_t audio_start = 0;
    uint64_t samples_decoded = 0;  // per channel, after downsampling, since the last reset
    uint64_t reference = 0;        // byte position of the last seek

    void reset() {
        frames.reset();
        samples_decoded = 0;
        reference = 0;
    }

    void set_property(const char* name, uint32_t value) {
        decoder->services.set_stream_int(decoder, name, static_cast<int32_t>(value));
    }

    int32_t analyse(StreamInfo& info);
    void report(const FrameHeader& h, const PcmBlock& pcm, StreamInfo& info);
};

int32_t MpegCodec::analyse(StreamInfo& info) {
    info.content_type = kContentType;
    audio_size = decoder->input.size;
    seek_table.reset();

    uint8_t start[kAnalysisBytes];
    // A failed read leaves the input at the audio start, so that short streams still play.
    auto read_start = [&]() {
        const int32_t rc = decoder->services.read_input(decoder, start, kAnalysisBytes);
        if (rc != 0) decoder->services.seek_bytes(decoder, audio_start);
        return rc;
    };
    if (const int32_t rc = read_start(); rc != 0) return rc;
    if (const uint32_t tag = id3v2_length(start, sizeof start); tag != 0) {
        if (tag <= audio_size) {
            audio_size -= tag;
            audio_start = tag;
        } else {
            audio_start = audio_size;
            audio_size = 0;
        }
        decoder->services.seek_bytes(decoder, audio_start);
        if (const int32_t rc = read_start(); rc != 0) return rc;
    }
    decoder->services.seek_bytes(decoder, audio_start);

    const uint32_t word =
        uint32_t{start[0]} << 24 | uint32_t{start[1]} << 16 | uint32_t{start[2]} << 8 | start[3];
    const FrameHeader h = header_split(word);
    if (!has_sync(word) || !header_valid(h)) {
        info.flags = 0;
        return MPA_E_NOT_POSSIBLE;
    }
    level = h.level();
    layer = h.layer();
    mode = h.mode;
    bitrate = h.bitrate_kbps();
    sample_rate = h.sample_rate();
    info.bitrate = bitrate;
    info.sample_rate = sample_rate;
    info.duration_ms = static_cast<uint32_t>(audio_size / (bitrate / 8));
    vbr = false;

    const VbrHeader v = find_vbr_header(start, sizeof start, h);
    if (v.found) {
        const uint64_t per_frame = h.version == 1 ? 1152 : 576;
        const uint64_t duration = uint64_t{v.frames} * per_frame * 1000 / sample_rate;
        info.duration_ms = static_cast<uint32_t>(duration);
        info.bitrate = duration == 0 ? 0 : static_cast<uint32_t>(audio_size / duration * 8);
        bitrate = info.bitrate;
        vbr = true;
    }
    if (v.has_toc) {
        seek_table.reset(new (std::nothrow) std::array<uint8_t, 100>(v.toc));
    }

    set_property("mpeg/level", level);
    set_property("mpeg/layer", layer);
    set_property("mpeg/mode", mode);
    info.channels = h.channels();
    info.flags = MPA_INFO_PROPERTIES | MPA_INFO_FORMAT | MPA_INFO_CONTENT_TYPE;
    return MPA_OK;
}

void MpegCodec::report(const FrameHeader& h, const PcmBlock& pcm, StreamInfo& info) {
    if (level != h.level()) {
        level = h.level();
        info.flags |= MPA_INFO_PROPERTIES;
        set_property("mpeg/level", level);
    }
    if (layer != h.layer()) {
        layer = h.layer();
        info.flags |= MPA_INFO_PROPERTIES;
        set_property("mpeg/layer", layer);
    }
    if (mode != h.mode) {
        if (mode == kUnknown || (mode == 3) != (h.mode == 3)) info.flags |= MPA_INFO_FORMAT;
        mode = h.mode;
        info.flags |= MPA_INFO_PROPERTIES;
        set_property("mpeg/mode", mode);
        info.channels = h.channels();
    }
    if (sample_rate != h.sample_rate()) {
        sample_rate = h.sample_rate();
        info.sample_rate = sample_rate;
        info.flags |= MPA_INFO_FORMAT;
    }

    const uint32_t b = h.bitrate_kbps();
    if (b != bitrate) {
        bitrate = b;
        info.bitrate = b;
        info.flags |= MPA_INFO_FORMAT;
    }
    if (info.bitrate == 0) {
        info.bitrate = b;
        average = 1024 * b;
    } else {
        if (average == 0) average = 1024 * info.bitrate;
        average = (31 * average + 1024 * b) >> 5;
        const uint32_t r = (average + 512) >> 10;
        const uint32_t diff = r > info.bitrate ? r - info.bitrate : info.bitrate - r;
        if (diff > info.bitrate >> 5) {
            info.bitrate = r;
            info.flags |= MPA_INFO_FORMAT;
        }
    }

    // Duration estimate from the bytes still ahead at the running bitrate.
    if (info.bitrate == 0 || (info.flags & MPA_INFO_FORMAT) == 0 || audio_size == 0) return;
    const auto p = static_cast<double>(decoder->input.position);
    const auto r = static_cast<double>(reference);
    const auto s = static_cast<double>(audio_start);
    const auto n = static_cast<double>(audio_size);
    const double t = static_cast<double>(samples_decoded) * 1000.0 / pcm.sample_rate;
    const double rate = p > r && t > 0 ? (p - r) / t : info.bitrate;
    const double head = r > s ? 0.8 * (r - s) / rate : 0.0;
    const double duration = (s - p + n) * 8.0 / info.bitrate + head + t;
    info.duration_ms = duration > 0 ? static_cast<uint32_t>(std::fmin(duration, 4294967295.0)) : 0;
    info.flags |= MPA_INFO_FORMAT;
}

MpegCodec* self(void* instance) {
    return static_cast<MpegCodec*>(instance);
}

int32_t probe(const char*, const char*) {
    return 0;
}

int32_t query(ModuleInfo* info, uint32_t flags) {
    if (info == nullptr) return MPA_E_BAD_ARGUMENT;
    if ((flags & MPA_QUERY_NAME) != 0) {
        std::strcpy(info->name, "MPEG Audio Codec");
        std::strcpy(info->description, "Version 1.2");
        if ((flags & MPA_QUERY_DEVICE_COUNT) != 0) info->index = 1;
        return MPA_OK;
    }
    if ((flags & MPA_QUERY_DEVICE) != 0) {
        if (info->index != 0) return MPA_E_BAD_ARGUMENT;
        std::strcpy(info->name, "MP1, MP2, MP3");
        std::strcpy(info->description, "MPEG 1 or 2 audio");
        info->device_flag = 0;
    }
    if ((flags & MPA_QUERY_DEVICE_COUNT) != 0) info->index = 1;
    if ((flags & MPA_QUERY_MAX_BYTES) != 0) info->max_bytes = static_cast<int32_t>(kMaxFrameSamples * 2);
    if ((flags & MPA_QUERY_CAPABILITIES) != 0) info->device_flag = 3;
    return MPA_OK;
}

int32_t create(void** instance, const char*, const char*, const ModuleRecord* record, Decoder* decoder) {
    *instance = new (std::nothrow) MpegCodec(decoder, record != nullptr ? record->id : 0);
    return *instance == nullptr ? MPA_E_NO_MEMORY : MPA_OK;
}

int32_t destroy(void* instance) {
    delete self(instance);
    return MPA_OK;
}

int32_t decode(void* instance, PcmBlock* pcm, StreamInfo* info) {
    MpegCodec& c = *self(instance);
    PcmFrame frame;
    if (const int32_t rc = c.frames.decode(static_cast<int16_t*>(pcm->buffer), frame); rc != 0) return rc;
    if (frame.stream_error != 0) {
        decoder_report_status(c.decoder, c.module_id, frame.stream_error, "stream error",
                              stream_error_text(frame.stream_error));
    }
    pcm->samples = frame.samples;
    pcm->channels = frame.channels;
    pcm->sample_rate = frame.sample_rate;
    if (info->content_type == nullptr || std::strcmp(info->content_type, kContentType) != 0) {
        info->content_type = kContentType;
        info->flags |= MPA_INFO_CONTENT_TYPE;
    }
    c.samples_decoded += frame.samples;
    if (!c.vbr) c.report(c.frames.header(), *pcm, *info);
    return MPA_OK;
}

int32_t analyse(void* instance, StreamInfo* info) {
    return self(instance)->analyse(*info);
}

float position_to_fraction(void* instance, uint64_t position) {
    const MpegCodec& c = *self(instance);
    if (c.audio_size == 0 || position < c.audio_start) return 0.0f;
    return static_cast<float>(static_cast<double>(position - c.audio_start) /
                              static_cast<double>(c.audio_size));
}

float map_fraction(void* instance, float fraction) {
    const MpegCodec& c = *self(instance);
    float f = c.seek_table ? map_through_toc(*c.seek_table, fraction) : fraction;
    if (c.audio_start != 0 && c.audio_size != 0) {
        const auto size = static_cast<double>(c.audio_size);
        const auto start = static_cast<double>(c.audio_start);
        f = static_cast<float>((f * size + start) / (size + start));
    }
    return f;
}

int32_t start(void* instance, const char*, const char*) {
    MpegCodec& c = *self(instance);
    c.vbr = false;
    c.level = c.layer = c.mode = kUnknown;
    c.bitrate = c.sample_rate = 0;
    c.average = 0;
    c.seek_table.reset();
    c.audio_start = 0;
    c.audio_size = c.decoder->input.size;
    c.reset();
    return MPA_OK;
}

int32_t seek_notify(void* instance, uint64_t position) {
    MpegCodec& c = *self(instance);
    c.reset();
    c.reference = position;
    return MPA_OK;
}

int32_t reset(void* instance) {
    self(instance)->reset();
    return MPA_OK;
}

int32_t set_options(void* instance, const DecoderOptions* options, uint32_t mask) {
    FrameDecoder& f = self(instance)->frames;
    if ((mask & MPA_OPTION_CHANNELS) != 0) f.set_channel_mode(static_cast<uint32_t>(options->channel_mode));
    if ((mask & MPA_OPTION_DOWNSAMPLING) != 0)
        f.set_downsampling(static_cast<uint32_t>(options->downsampling));
    if ((mask & MPA_OPTION_EQUALIZER) != 0) f.set_equalizer(options->equalizer);
    return MPA_OK;
}

int32_t read_options(void* instance, DecoderOptions* options, uint32_t mask) {
    const FrameDecoder& f = self(instance)->frames;
    if ((mask & MPA_OPTION_CHANNELS) != 0) options->channel_mode = static_cast<int32_t>(f.channel_mode());
    if ((mask & MPA_OPTION_DOWNSAMPLING) != 0) options->downsampling = static_cast<int32_t>(f.downsampling());
    if ((mask & MPA_OPTION_EQUALIZER) != 0 && options->equalizer != nullptr)
        f.get_equalizer(options->equalizer);
    return MPA_OK;
}

ModuleDescriptor make_descriptor() {
    ModuleDescriptor m{};
    m.version = MPA_MODULE_VERSION;
    m.codec = CodecMethods{.probe = probe,
                           .query = query,
                           .create = create,
                           .destroy = destroy,
                           .decode = decode,
                           .analyse = analyse,
                           .position_to_fraction = position_to_fraction,
                           .map_fraction = map_fraction,
                           .start = start,
                           .input_closed = nullptr,
                           .seek_notify = seek_notify,
                           .reset = reset,
                           .set_options = set_options,
                           .read_options = read_options,
                           .reserved = nullptr};
    return m;
}

const ModuleDescriptor kDescriptor = make_descriptor();

}  // namespace

}  // namespace mpa

extern "C" MPA_API const ModuleDescriptor* mpeg_codec_module(void) {
    return a5::guardExport(nullptr, [&]() -> const ModuleDescriptor* { return &mpa::kDescriptor; });
}
