// An Ogg Vorbis file on the stream buffer engine, decoded by libvorbisfile straight into
// the locked buffer. A looping stream rewinds inside the fill, so the end of one pass and
// the start of the next share a region; a non-looping one closes its file one tick after
// its data ended.
#pragma once

#define OV_EXCLUDE_STATIC_CALLBACKS
#include <vorbis/vorbisfile.h>

#include "buffer_stream.h"

namespace orvox::stream {

class OggStream final : public BufferStream {
public:
    OggStream() = default;
    ~OggStream() override;

protected:
    const char* subject() const override { return "OGG: "; }
    bool openSource(const char* path, bool probeOnly, WAVEFORMATEX& format) override;
    DWORD fill(uint8_t* part1, DWORD bytes1, uint8_t* part2, DWORD bytes2) override;
    // Never: a looping stream rewinds inside the fill.
    bool restartAtEnd() override { return false; }
    void closeSource() override;

private:
    // ov_open on a stdio file of `path`; libvorbisfile closes the file at ov_clear.
    bool openDecoder(const char* path);
    // The bytes written; fewer than asked when the data ended.
    DWORD fillPart(uint8_t* part, DWORD bytes);
    // Back to PCM sample 1, or a fresh open of the file when the seek fails.
    void rewind();
    // True when the link that produced the last read has the buffer's format.
    bool linkMatchesBuffer();

    OggVorbis_File vorbisFile_{};
    bool decoderOpen_ = false;
    int currentSection_ = 0;
    int checkedSection_ = 0;    // last link whose format was compared with the buffer's
    bool decodedSinceRewind_ = false;  // PCM came since the open or the last rewind
};

}  // namespace orvox::stream
