#include "media_decoder.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
#include <libswresample/swresample.h>
}

#include "media_file.h"
#include <plat/wmsdk.h>

namespace plat {

namespace {

// Read errors in a row after which the data counts as ended: a demuxer that cannot get
// past a damaged spot must not keep the reader spinning on it.
constexpr int kMaxReadErrors = 16;
constexpr int kMaxDecodeErrors = 1024;

bool isMpegAudio(AVCodecID id) {
    return id == AV_CODEC_ID_MP1 || id == AV_CODEC_ID_MP2 || id == AV_CODEC_ID_MP3 || id == AV_CODEC_ID_MP3ADU ||
           id == AV_CODEC_ID_MP3ON4;
}

void setUpLogging() {
    int level = AV_LOG_QUIET;
    if (const char* asked = std::getenv("A5_MEDIA_LOG")) {
        const struct {
            const char* name;
            int level;
        } levels[] = {{"error", AV_LOG_ERROR}, {"warning", AV_LOG_WARNING}, {"info", AV_LOG_INFO},
                      {"debug", AV_LOG_DEBUG}};
        for (const auto& l : levels)
            if (std::strcmp(asked, l.name) == 0) level = l.level;
    }
    av_log_set_level(level);
}

// The decoders FFmpeg may open while it examines a file: every audio decoder but those of
// MPEG audio (video needs none of ours).
const char* allowedDecoders() {
    static const std::string list = [] {
        std::string names;
        void* at = nullptr;
        while (const AVCodec* codec = av_codec_iterate(&at)) {
            if (!av_codec_is_decoder(codec) || codec->type != AVMEDIA_TYPE_AUDIO || isMpegAudio(codec->id)) continue;
            if (!names.empty()) names += ',';
            names += codec->name;
        }
        return names;
    }();
    return list.c_str();
}

// The demuxers FFmpeg may pick: all but the one that hands modules to libopenmpt, which
// decodes MPEG audio samples (MO3, Unreal packages) with a decoder of its own and reads
// the modules the tracker library refused, which are not media of ours.
const char* allowedDemuxers() {
    static const std::string list = [] {
        std::string names;
        void* at = nullptr;
        while (const AVInputFormat* demuxer = av_demuxer_iterate(&at)) {
            if (std::strcmp(demuxer->name, "libopenmpt") == 0) continue;
            if (!names.empty()) names += ',';
            names += demuxer->name;
        }
        return names;
    }();
    return list.c_str();
}

// Nested files (playlists, segment lists, image sequences) are never opened.
int refuseNestedOpen(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**) { return AVERROR(EPERM); }

int firstAudioStream(const AVFormatContext* format) {
    for (unsigned i = 0; i < format->nb_streams; ++i)
        if (format->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) return static_cast<int>(i);
    return -1;
}

MediaDecoder::Failure failed(HRESULT result, bool missingCodec = false) { return {result, missingCodec}; }
constexpr MediaDecoder::Failure kOpened{};

}  // namespace

std::unique_ptr<MediaDecoder> MediaDecoder::open(const std::string& path, Failure& failure) {
    static std::once_flag logging;
    std::call_once(logging, setUpLogging);
    std::unique_ptr<MediaFile> file = MediaFile::open(path);
    if (file == nullptr) {
        failure = failed(NS_E_FILE_OPEN_FAILED);
        return nullptr;
    }
    std::unique_ptr<MediaDecoder> decoder(new MediaDecoder(std::move(file)));
    failure = decoder->start();
    if (FAILED(failure.result)) return nullptr;
    return decoder;
}

MediaDecoder::MediaDecoder(std::unique_ptr<MediaFile> file) : file_(std::move(file)) {}

MediaDecoder::~MediaDecoder() { stop(); }

MediaDecoder::Failure MediaDecoder::start() {
    io_ = file_->newReader();
    format_ = avformat_alloc_context();
    packet_ = av_packet_alloc();
    frame_ = av_frame_alloc();
    if (io_ == nullptr || format_ == nullptr || packet_ == nullptr || frame_ == nullptr) return failed(E_OUTOFMEMORY);
    format_->pb = io_;
    format_->flags |= AVFMT_FLAG_CUSTOM_IO;
    format_->io_open = &refuseNestedOpen;
    format_->codec_whitelist = av_strdup(allowedDecoders());
    format_->format_whitelist = av_strdup(allowedDemuxers());
    if (avformat_open_input(&format_, nullptr, nullptr, nullptr) < 0) return failed(NS_E_INVALID_DATA);

    // Before FFmpeg looks further (which decodes a little of each stream), and again after,
    // since some containers reveal their streams only then.
    stream_ = firstAudioStream(format_);
    if (stream_ >= 0 && isMpegAudio(format_->streams[stream_]->codecpar->codec_id))
        return failed(NS_E_AUDIO_CODEC_NOT_INSTALLED, true);
    avformat_find_stream_info(format_, nullptr);
    stream_ = firstAudioStream(format_);
    if (stream_ < 0) return failed(NS_E_NO_AUDIO_STREAM);
    AVStream* stream = format_->streams[stream_];
    const AVCodec* decoder = isMpegAudio(stream->codecpar->codec_id) ? nullptr : avcodec_find_decoder(stream->codecpar->codec_id);
    if (decoder == nullptr) return failed(NS_E_AUDIO_CODEC_NOT_INSTALLED, true);
    for (unsigned i = 0; i < format_->nb_streams; ++i)
        if (static_cast<int>(i) != stream_) format_->streams[i]->discard = AVDISCARD_ALL;

    codec_ = avcodec_alloc_context3(decoder);
    if (codec_ == nullptr) return failed(E_OUTOFMEMORY);
    if (avcodec_parameters_to_context(codec_, stream->codecpar) < 0) return failed(NS_E_INVALID_DATA);
    codec_->thread_count = 1;  // decoding stays on the reader's thread
    codec_->pkt_timebase = stream->time_base;
    if (avcodec_open2(codec_, decoder, nullptr) < 0) return failed(NS_E_INVALID_DATA);
    const int rate = codec_->sample_rate;
    const int channels = codec_->ch_layout.nb_channels;
    if (rate <= 0 || channels <= 0) return failed(NS_E_INVALID_DATA);
    rate_ = static_cast<uint32_t>(rate);
    channels_ = static_cast<uint16_t>(std::min(channels, 2));
    return kOpened;
}

void MediaDecoder::stop() {
    swr_free(&resampler_);
    av_channel_layout_uninit(&resamplerLayout_);
    resamplerRate_ = 0;
    resamplerFormat_ = -1;
    avcodec_free_context(&codec_);
    avformat_close_input(&format_);  // also frees a context that never opened
    MediaFile::closeReader(io_);
    av_packet_free(&packet_);
    av_frame_free(&frame_);
    stream_ = -1;
    draining_ = false;
    ended_ = false;
    staged_.clear();
    stagedAt_ = 0;
}

bool MediaDecoder::rewind() {
    const uint32_t rate = rate_;
    const uint16_t channels = channels_;
    stop();
    if (FAILED(start().result) || rate_ != rate || channels_ != channels) {
        stop();
        rate_ = rate;
        channels_ = channels;
        ended_ = true;
        return false;
    }
    return true;
}

size_t MediaDecoder::read(int16_t* out, size_t frames) {
    size_t done = 0;
    while (done < frames) {
        if (stagedAt_ < staged_.size()) {
            const size_t take = std::min(frames - done, (staged_.size() - stagedAt_) / channels_);
            if (out != nullptr) std::copy_n(staged_.data() + stagedAt_, take * channels_, out + done * channels_);
            stagedAt_ += take * channels_;
            done += take;
            continue;
        }
        if (ended_ || !decodeMore()) {
            ended_ = true;
            break;
        }
    }
    return done;
}

bool MediaDecoder::decodeMore() {
    if (codec_ == nullptr) return false;
    staged_.clear();
    stagedAt_ = 0;
    int readErrors = 0;
    int decodeErrors = 0;
    while (staged_.empty()) {
        const int received = avcodec_receive_frame(codec_, frame_);
        if (received == 0) {
            convert(frame_);
            av_frame_unref(frame_);
            continue;
        }
        if (received == AVERROR_EOF) {
            // What the resampler still holds ends the data.
            if (resampler_ != nullptr) convert(nullptr);
            return !staged_.empty();
        }
        if (received != AVERROR(EAGAIN)) {
            if (++decodeErrors > kMaxDecodeErrors) return false;
            continue;
        }
        if (draining_) return false;
        const int got = av_read_frame(format_, packet_);
        if (got < 0) {
            if (got != AVERROR_EOF && ++readErrors < kMaxReadErrors) continue;
            avcodec_send_packet(codec_, nullptr);
            draining_ = true;
            continue;
        }
        readErrors = 0;
        // A packet the decoder refuses is skipped; the next one may decode.
        if (packet_->stream_index == stream_) avcodec_send_packet(codec_, packet_);
        av_packet_unref(packet_);
    }
    return true;
}

bool MediaDecoder::fitResampler(const AVFrame* frame) {
    if (resampler_ != nullptr && frame->sample_rate == resamplerRate_ && frame->format == resamplerFormat_ &&
        av_channel_layout_compare(&frame->ch_layout, &resamplerLayout_) == 0)
        return true;
    // What a resampler made for the earlier input still holds belongs before this frame.
    if (resampler_ != nullptr) convert(nullptr);
    swr_free(&resampler_);
    av_channel_layout_uninit(&resamplerLayout_);
    resamplerRate_ = 0;
    if (frame->sample_rate <= 0 || frame->ch_layout.nb_channels <= 0) return false;

    AVChannelLayout in{};
    if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
        av_channel_layout_default(&in, frame->ch_layout.nb_channels);
    else if (av_channel_layout_copy(&in, &frame->ch_layout) < 0)
        return false;
    AVChannelLayout out{};
    av_channel_layout_default(&out, channels_);
    const bool made =
        swr_alloc_set_opts2(&resampler_, &out, AV_SAMPLE_FMT_S16, static_cast<int>(rate_), &in,
                            static_cast<AVSampleFormat>(frame->format), frame->sample_rate, 0, nullptr) == 0 &&
        swr_init(resampler_) == 0;
    av_channel_layout_uninit(&in);
    av_channel_layout_uninit(&out);
    if (!made) {
        swr_free(&resampler_);
        return false;
    }
    resamplerRate_ = frame->sample_rate;
    resamplerFormat_ = frame->format;
    if (av_channel_layout_copy(&resamplerLayout_, &frame->ch_layout) < 0) {
        swr_free(&resampler_);
        return false;
    }
    return true;
}

// Appends the frame's PCM, or with no frame what the resampler still holds, to `staged_`.
// A frame the resampler cannot take is dropped.
void MediaDecoder::convert(const AVFrame* frame) {
    if (frame != nullptr && !fitResampler(frame)) return;
    const int inFrames = frame != nullptr ? frame->nb_samples : 0;
    const int room = swr_get_out_samples(resampler_, inFrames);
    if (room <= 0) return;
    const size_t at = staged_.size();
    staged_.resize(at + static_cast<size_t>(room) * channels_);
    auto* target = reinterpret_cast<uint8_t*>(staged_.data() + at);
    const int made = swr_convert(resampler_, &target, room, frame != nullptr ? const_cast<const uint8_t**>(frame->extended_data) : nullptr,
                                 inFrames);
    staged_.resize(at + static_cast<size_t>(std::max(made, 0)) * channels_);
}

}  // namespace plat
