// The decoding behind the media reader: the first audio stream of a media file, decoded by
// FFmpeg and converted to interleaved 16-bit PCM at the stream's own rate, with one channel
// for a mono stream and two for any other.
//
// MPEG audio streams (Layers I to III, in any container) are never decoded here: they count
// as streams without a codec, and FFmpeg is not allowed to open their decoders even while
// it examines a file, nor to hand a module to libopenmpt (which has its own). FFmpeg opens
// no file but the one given, and logs nothing unless A5_MEDIA_LOG names a level ("error",
// "warning", "info", "debug").
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/channel_layout.h>
}

#include <plat/wintypes.h>

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVIOContext;
struct AVPacket;
struct SwrContext;

namespace plat {

class MediaFile;

class MediaDecoder {
public:
    struct Failure {
        HRESULT result = S_OK;
        bool missingCodec = false;  // the stream's codec has no decoder here
    };

    // Null on failure, described in `failure`.
    static std::unique_ptr<MediaDecoder> open(const std::string& path, Failure& failure);
    ~MediaDecoder();
    MediaDecoder(const MediaDecoder&) = delete;
    MediaDecoder& operator=(const MediaDecoder&) = delete;

    uint32_t rate() const { return rate_; }
    uint16_t channels() const { return channels_; }

    // Up to `frames` frames into `out`, or passed over when `out` is null; fewer only where
    // the data ends, then 0.
    size_t read(int16_t* out, size_t frames);
    // Back to the first frame: the file is examined afresh, so every pass decodes alike.
    // False when it no longer opens with the same rate and channels (the data has ended).
    bool rewind();

private:
    explicit MediaDecoder(std::unique_ptr<MediaFile> file);
    Failure start();
    void stop();
    // Converts the next decoded frame into `staged_`; false at the end of the data.
    bool decodeMore();
    void convert(const AVFrame* frame);
    bool fitResampler(const AVFrame* frame);

    std::unique_ptr<MediaFile> file_;
    AVIOContext* io_ = nullptr;
    AVFormatContext* format_ = nullptr;
    AVCodecContext* codec_ = nullptr;
    SwrContext* resampler_ = nullptr;
    AVPacket* packet_ = nullptr;
    AVFrame* frame_ = nullptr;
    int stream_ = -1;
    uint32_t rate_ = 0;
    uint16_t channels_ = 0;
    // The input the resampler was made for.
    int resamplerRate_ = 0;
    int resamplerFormat_ = -1;
    AVChannelLayout resamplerLayout_{};
    bool draining_ = false;
    bool ended_ = false;
    // Converted PCM not yet read; kept between passes so no pass allocates it again.
    std::vector<int16_t> staged_;
    size_t stagedAt_ = 0;
};

}  // namespace plat
