#include "ffmpeg_reference.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <memory>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
}

namespace media_reference {

namespace {

struct FormatCloser {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct CodecFreer {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct PacketFreer {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct FrameFreer {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
using Input = std::unique_ptr<AVFormatContext, FormatCloser>;
using Codec = std::unique_ptr<AVCodecContext, CodecFreer>;
using Packet = std::unique_ptr<AVPacket, PacketFreer>;
using Frame = std::unique_ptr<AVFrame, FrameFreer>;

bool isMpegAudio(AVCodecID id) {
    return id == AV_CODEC_ID_MP1 || id == AV_CODEC_ID_MP2 || id == AV_CODEC_ID_MP3 || id == AV_CODEC_ID_MP3ADU ||
           id == AV_CODEC_ID_MP3ON4;
}

// Every decoder but those of MPEG audio, which FFmpeg must not run even while it looks
// into a file: MPEG audio is decoded by the project's own decoder alone.
std::string decodersWithoutMpegAudio() {
    std::string names;
    void* at = nullptr;
    while (const AVCodec* codec = av_codec_iterate(&at)) {
        if (!av_codec_is_decoder(codec) || isMpegAudio(codec->id)) continue;
        if (!names.empty()) names += ',';
        names += codec->name;
    }
    return names;
}

Input openInput(const std::string& path) {
    av_log_set_level(AV_LOG_QUIET);
    AVFormatContext* context = avformat_alloc_context();
    if (context == nullptr) return nullptr;
    context->codec_whitelist = av_strdup(decodersWithoutMpegAudio().c_str());
    if (avformat_open_input(&context, path.c_str(), nullptr, nullptr) < 0) return nullptr;
    Input input(context);
    if (avformat_find_stream_info(context, nullptr) < 0) return nullptr;
    return input;
}

int16_t fromFloat(double x) { return static_cast<int16_t>(std::clamp(std::lrint(x * 32768.0), -32768L, 32767L)); }

// One sample of `frame` as 16 bits: floats rounded, wider integers cut to their top bits.
int16_t sampleAt(const AVFrame* frame, int channel, int index) {
    const auto format = static_cast<AVSampleFormat>(frame->format);
    const bool planar = av_sample_fmt_is_planar(format) != 0;
    const int channels = frame->ch_layout.nb_channels;
    const uint8_t* base = frame->extended_data[planar ? channel : 0];
    const int at = planar ? index : index * channels + channel;
    switch (av_get_packed_sample_fmt(format)) {
        case AV_SAMPLE_FMT_U8:
            return static_cast<int16_t>((base[at] - 128) * 256);
        case AV_SAMPLE_FMT_S16:
            return reinterpret_cast<const int16_t*>(base)[at];
        case AV_SAMPLE_FMT_S32:
            return static_cast<int16_t>(reinterpret_cast<const int32_t*>(base)[at] >> 16);
        case AV_SAMPLE_FMT_FLT:
            return fromFloat(reinterpret_cast<const float*>(base)[at]);
        case AV_SAMPLE_FMT_DBL:
            return fromFloat(reinterpret_cast<const double*>(base)[at]);
        default:
            return 0;
    }
}

}  // namespace

Decoded decode(const std::string& path) {
    Decoded out;
    Input input = openInput(path);
    if (input == nullptr) return out;
    int stream = -1;
    for (unsigned i = 0; i < input->nb_streams && stream < 0; ++i)
        if (input->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) stream = static_cast<int>(i);
    if (stream < 0) return out;
    const AVCodecParameters* parameters = input->streams[stream]->codecpar;
    if (isMpegAudio(parameters->codec_id)) return out;
    const AVCodec* decoder = avcodec_find_decoder(parameters->codec_id);
    if (decoder == nullptr) return out;
    Codec codec(avcodec_alloc_context3(decoder));
    if (avcodec_parameters_to_context(codec.get(), parameters) < 0) return out;
    codec->thread_count = 1;
    codec->pkt_timebase = input->streams[stream]->time_base;
    if (avcodec_open2(codec.get(), decoder, nullptr) < 0) return out;
    const int channels = codec->ch_layout.nb_channels;
    if (channels < 1 || channels > 2) return out;

    Packet packet(av_packet_alloc());
    Frame frame(av_frame_alloc());
    const auto drain = [&] {
        while (avcodec_receive_frame(codec.get(), frame.get()) == 0) {
            for (int i = 0; i < frame->nb_samples; ++i)
                for (int c = 0; c < channels; ++c) out.pcm.push_back(sampleAt(frame.get(), c, i));
            av_frame_unref(frame.get());
        }
    };
    while (av_read_frame(input.get(), packet.get()) >= 0) {
        if (packet->stream_index == stream) {
            avcodec_send_packet(codec.get(), packet.get());
            drain();
        }
        av_packet_unref(packet.get());
    }
    avcodec_send_packet(codec.get(), nullptr);
    drain();
    out.rate = static_cast<unsigned>(codec->sample_rate);
    out.channels = static_cast<unsigned>(channels);
    return out;
}

std::string sharedMedia(const char* sub, const char* name) {
    const std::filesystem::path path = std::filesystem::path(A5_MEDIA_DIR) / sub / name;
    return std::filesystem::exists(path) ? path.string() : std::string();
}

std::string testNameOf(const char* file) {
    std::string name;
    for (const char* c = file; *c != '\0' && *c != '.'; ++c)
        name += std::isalnum(static_cast<unsigned char>(*c)) != 0 ? *c : '_';
    return name;
}

bool writeFlac(const std::string& path, const std::vector<int16_t>& pcm, unsigned rate, unsigned channels) {
    const AVCodec* encoder = avcodec_find_encoder(AV_CODEC_ID_FLAC);
    AVFormatContext* raw = nullptr;
    if (encoder == nullptr || avformat_alloc_output_context2(&raw, nullptr, "flac", path.c_str()) < 0) return false;
    std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> output(raw, [](AVFormatContext* c) {
        if (c->pb != nullptr) avio_closep(&c->pb);
        avformat_free_context(c);
    });
    Codec codec(avcodec_alloc_context3(encoder));
    codec->sample_fmt = AV_SAMPLE_FMT_S16;
    codec->sample_rate = static_cast<int>(rate);
    av_channel_layout_default(&codec->ch_layout, static_cast<int>(channels));
    codec->time_base = AVRational{1, static_cast<int>(rate)};
    if (avcodec_open2(codec.get(), encoder, nullptr) < 0) return false;
    AVStream* stream = avformat_new_stream(output.get(), nullptr);
    if (stream == nullptr || avcodec_parameters_from_context(stream->codecpar, codec.get()) < 0) return false;
    stream->time_base = codec->time_base;
    if (avio_open(&output->pb, path.c_str(), AVIO_FLAG_WRITE) < 0 || avformat_write_header(output.get(), nullptr) < 0)
        return false;

    Packet packet(av_packet_alloc());
    Frame frame(av_frame_alloc());
    const auto send = [&](const AVFrame* f) {
        if (avcodec_send_frame(codec.get(), f) < 0) return false;
        while (avcodec_receive_packet(codec.get(), packet.get()) == 0) {
            av_packet_rescale_ts(packet.get(), codec->time_base, stream->time_base);
            packet->stream_index = stream->index;
            if (av_interleaved_write_frame(output.get(), packet.get()) < 0) return false;
        }
        return true;
    };
    const size_t total = pcm.size() / channels;
    const size_t step = codec->frame_size > 0 ? static_cast<size_t>(codec->frame_size) : 4096;
    for (size_t at = 0; at < total; at += step) {
        const size_t n = std::min(step, total - at);
        av_frame_unref(frame.get());
        frame->format = AV_SAMPLE_FMT_S16;
        frame->sample_rate = static_cast<int>(rate);
        av_channel_layout_copy(&frame->ch_layout, &codec->ch_layout);
        frame->nb_samples = static_cast<int>(n);
        frame->pts = static_cast<int64_t>(at);
        if (av_frame_get_buffer(frame.get(), 0) < 0) return false;
        std::copy_n(pcm.data() + at * channels, n * channels, reinterpret_cast<int16_t*>(frame->data[0]));
        if (!send(frame.get())) return false;
    }
    return send(nullptr) && av_write_trailer(output.get()) == 0;
}

bool writeVideoOnly(const std::string& from, const std::string& to) {
    Input input = openInput(from);
    AVFormatContext* raw = nullptr;
    if (input == nullptr || avformat_alloc_output_context2(&raw, nullptr, "asf", to.c_str()) < 0) return false;
    std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> output(raw, [](AVFormatContext* c) {
        if (c->pb != nullptr) avio_closep(&c->pb);
        avformat_free_context(c);
    });
    std::vector<int> map(input->nb_streams, -1);
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        if (input->streams[i]->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) continue;
        AVStream* copy = avformat_new_stream(output.get(), nullptr);
        if (copy == nullptr || avcodec_parameters_copy(copy->codecpar, input->streams[i]->codecpar) < 0) return false;
        copy->codecpar->codec_tag = 0;
        copy->time_base = input->streams[i]->time_base;
        map[i] = copy->index;
    }
    if (output->nb_streams == 0) return false;
    if (avio_open(&output->pb, to.c_str(), AVIO_FLAG_WRITE) < 0 || avformat_write_header(output.get(), nullptr) < 0)
        return false;
    Packet packet(av_packet_alloc());
    while (av_read_frame(input.get(), packet.get()) >= 0) {
        const int target = map[static_cast<size_t>(packet->stream_index)];
        if (target >= 0) {
            av_packet_rescale_ts(packet.get(), input->streams[packet->stream_index]->time_base,
                                 output->streams[target]->time_base);
            packet->stream_index = target;
            packet->pos = -1;
            if (av_interleaved_write_frame(output.get(), packet.get()) < 0) return false;
        }
        av_packet_unref(packet.get());
    }
    return av_write_trailer(output.get()) == 0;
}

}  // namespace media_reference
