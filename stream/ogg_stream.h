// An Ogg Vorbis file on the stream buffer engine, decoded by libvorbisfile straight into
// the locked buffer. A looping stream rewinds inside the fill, so the end of one pass and
// the start of the next share a region; a non-looping one closes its file one tick after
// its data ended.
//
// The buffer takes the format of the file's first link. Every link of a chained file
// plays: one whose rate or channel count differ is decoded aside and converted to the
// buffer's format, the rest of its region waiting in the converter for the next.
#pragma once

#define OV_EXCLUDE_STATIC_CALLBACKS
#include <vorbis/vorbisfile.h>

#include <vector>

#include "buffer_stream.h"
#include "pcm_converter.h"

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
    // ov_open on a stdio file of `path`, at the start of its first link; libvorbisfile
    // closes the file at ov_clear.
    bool openDecoder(const char* path);
    // The bytes written; fewer than asked when the data ended.
    DWORD fillPart(uint8_t* part, DWORD bytes);
    // One ov_read of at most `bytes`: its result.
    long read(uint8_t* into, size_t bytes);
    // The last read came from another link: finishes converting the one before and sets
    // up for this one if its format is not the buffer's. False when it cannot be played.
    bool enterLink(int section);
    // Makes linkPcm_ the first time a link is read aside.
    void reserveLinkPcm();
    // Back to PCM sample 1, or a fresh open of the file when the seek fails.
    void rewind();

    OggVorbis_File vorbisFile_{};
    bool decoderOpen_ = false;
    int currentSection_ = 0;   // ov_read's out-value
    int section_ = 0;          // link of the PCM read last
    bool atEnd_ = false;       // the decoder is done; the end comes once the converter is empty
    bool decodedSinceRewind_ = false;  // PCM came since the open or the last rewind
    PcmConverter converter_;
    std::vector<uint8_t> linkPcm_;  // one read of a link that is converted
};

}  // namespace orvox::stream
