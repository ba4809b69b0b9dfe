#include "mp3_stream.h"

#include <mpegaudio/file_modules.h>
#include <mpegaudio/mpeg_codec.h>

#include <algorithm>
#include <cstring>

#include "mpeg_evidence.h"

namespace orvox::stream {

namespace {
// 1152 samples of 16-bit stereo: the most PCM one decode delivers.
constexpr uint32_t kLargestFrameBytes = 4608;
constexpr uint32_t kStagingSlack = 1024;
// Decodes in a row that bring no PCM before the data counts as ended, so a stream of
// empty frames cannot hold a tick forever.
constexpr uint32_t kMaxEmptyFrames = 64;

uint32_t blockBytes(const PcmBlock& block) { return block.channels * block.bytes_per_sample * block.samples; }
}  // namespace

std::unique_ptr<BufferStream> makeMp3Stream() { return std::make_unique<Mp3Stream>(); }

Mp3Stream::~Mp3Stream() { shutdown(); }

Mp3Stream::DecoderPtr Mp3Stream::openDecoder(const char* path) {
    Decoder* raw = nullptr;
    if (decoder_create(&raw) != MPA_OK || raw == nullptr) return nullptr;
    DecoderPtr decoder(raw);
    decoder_register_codec(decoder.get(), mpeg_codec_module());
    decoder_register_input(decoder.get(), file_input_module());
    // Neither result decides anything: the first decode alone says whether the file plays.
    decoder_attach_input(decoder.get(), path, -1);
    decoder_open_input(decoder.get());
    if (decoder_decode(decoder.get(), nullptr) != MPA_OK) return nullptr;
    return decoder;
}

bool Mp3Stream::openSource(const char* path, bool probeOnly, WAVEFORMATEX& format) {
    closeSource();
    if (probeOnly) return hasMpegAudioEvidence(path) && openDecoder(path) != nullptr;

    decoder_ = openDecoder(path);
    if (decoder_ == nullptr) return false;
    const PcmBlock& first = decoder_->pcm;
    if (first.channels == 0 || first.channels > 2 || first.sample_rate == 0 || first.bytes_per_sample != 2) {
        closeSource();
        return false;
    }
    format.nChannels = static_cast<WORD>(first.channels);
    format.nSamplesPerSec = first.sample_rate;
    format.wBitsPerSample = static_cast<WORD>(first.bytes_per_sample * 8);

    // A region never exceeds the buffer, the surplus carried from the last tick is less than
    // a frame, and decoding stops with the first frame that passes the region's end.
    const uint32_t largestFrame =
        std::max(kLargestFrameBytes, static_cast<uint32_t>(std::max(decoder_->codec.max_bytes, 0)));
    staging_ = std::make_unique_for_overwrite<uint8_t[]>(kStreamBufferBytes + largestFrame + kStagingSlack);
    stagingOffset_ = 0;
    stagingBytes_ = 0;
    emptyFrames_ = 0;
    return true;
}

void Mp3Stream::closeSource() {
    decoder_.reset();
    staging_.reset();
    stagingOffset_ = 0;
    stagingBytes_ = 0;
}

int64_t Mp3Stream::decodeFrame(uint8_t* at) {
    if (decoder_ == nullptr || decoder_decode(decoder_.get(), at) != MPA_OK) return -1;
    // The buffer keeps the first frame's format: a frame in another one ends the data
    // rather than play at the wrong speed or with its channels mixed up.
    const PcmBlock& block = decoder_->pcm;
    if (block.channels != format().nChannels || block.sample_rate != format().nSamplesPerSec ||
        block.bytes_per_sample * 8 != format().wBitsPerSample)
        return -1;
    const uint32_t bytes = blockBytes(block);
    emptyFrames_ = bytes == 0 ? emptyFrames_ + 1 : 0;
    return emptyFrames_ > kMaxEmptyFrames ? -1 : bytes;
}

DWORD Mp3Stream::fill(uint8_t* part1, DWORD bytes1, uint8_t* part2, DWORD bytes2) {
    uint8_t* const staging = staging_.get();
    const uint32_t n = bytes1 + bytes2;

    std::memmove(staging, staging + stagingOffset_, stagingBytes_);
    uint32_t have = stagingBytes_;
    while (have <= n) {
        const int64_t bytes = decodeFrame(staging + have);
        if (bytes < 0) {
            endOfData();
            break;
        }
        have += static_cast<uint32_t>(bytes);
    }

    const uint32_t written = std::min(have, n);
    std::memcpy(part1, staging, std::min<uint32_t>(bytes1, written));
    if (written > bytes1) std::memcpy(part2, staging + bytes1, written - bytes1);
    stagingOffset_ = written;
    stagingBytes_ = have - written;
    return written;
}

bool Mp3Stream::restartAtEnd() {
    if (loop_.load() == 0) return false;
    if (decoder_ == nullptr || decoder_seek_fraction(decoder_.get(), 0.0f) != MPA_OK) {
        // The reopened file's first frame is decoded to learn nothing and dropped, as at open.
        decoder_.reset();
        decoder_ = openDecoder(path());
        // A file that can no longer be read ends the stream.
        if (decoder_ == nullptr) return false;
    }
    stagingOffset_ = 0;
    stagingBytes_ = 0;
    emptyFrames_ = 0;
    return true;
}

}  // namespace orvox::stream
