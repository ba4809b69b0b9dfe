// An MPEG audio file (Layers I, II and III) on the stream buffer engine. A decoder of the
// mpegaudio library pulls whole frames from the file into a staging block, from which each
// refill copies exactly the bytes the buffer needs; the surplus of the last frame waits for
// the next tick. The first frame only tells the format and is never heard.
#pragma once

#include <mpegaudio/decoder.h>

#include <cstdint>
#include <memory>

#include "buffer_stream.h"

namespace orvox::stream {

class Mp3Stream : public BufferStream {
public:
    Mp3Stream() = default;
    ~Mp3Stream() override;

    // Test hooks: whether a decoder is held, and the decoded bytes waiting in staging.
    bool holdsDecoder() const { return decoder_ != nullptr; }
    uint32_t stagedBytes() const { return stagingBytes_; }

protected:
    const char* subject() const override { return "MP3: "; }
    bool openSource(const char* path, bool probeOnly, WAVEFORMATEX& format) override;
    DWORD fill(uint8_t* part1, DWORD bytes1, uint8_t* part2, DWORD bytes2) override;
    // With loop set: back to the first frame (the file reopened when the seek fails).
    bool restartAtEnd() override;
    void closeSource() override;

private:
    struct DecoderCloser {
        void operator()(Decoder* d) const { decoder_destroy(d); }
    };
    using DecoderPtr = std::unique_ptr<Decoder, DecoderCloser>;

    // A decoder with the MPEG codec and the file input on `path` that has decoded the first
    // frame into its own block; null when the file gives no frame.
    static DecoderPtr openDecoder(const char* path);
    // Decodes one frame to `at`: its PCM bytes, or -1 at the end of the data (the end of the
    // file, a decoding error, or a frame whose format the buffer cannot play).
    int64_t decodeFrame(uint8_t* at);

    DecoderPtr decoder_;
    uint32_t stagingOffset_ = 0;
    uint32_t stagingBytes_ = 0;
    // Allocated once per open: a whole region, the largest frame and some slack.
    std::unique_ptr<uint8_t[]> staging_;
    uint32_t emptyFrames_ = 0;  // frames in a row that gave no PCM
};

// A fresh MP3 stream: loop 1, not playing, no buffer.
std::unique_ptr<BufferStream> makeMp3Stream();

}  // namespace orvox::stream
