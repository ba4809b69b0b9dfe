// FFmpeg's own decode of a media file, made here without the platform's reader, and media
// files written at test time (FLAC through FFmpeg's encoder, a video-only copy of a file).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace media_reference {

struct Decoded {
    unsigned rate = 0;
    unsigned channels = 0;  // of the stream: 1 or 2 (others are not decoded here)
    std::vector<int16_t> pcm;  // interleaved; float samples rounded to the nearest step
    bool ok() const { return rate != 0; }
};

// The whole first audio stream, decoded by libavcodec; not ok() when it cannot be, and
// never for MPEG audio.
Decoded decode(const std::string& path);

// Path of a file under the shared media folder (`sub`/`name`); empty when it is absent.
std::string sharedMedia(const char* sub, const char* name);

// A test name for a media file: its name up to the extension, other characters than letters
// and digits as '_'.
std::string testNameOf(const char* file);

// Writes `pcm` (interleaved 16-bit) as a FLAC file; false on failure.
bool writeFlac(const std::string& path, const std::vector<int16_t>& pcm, unsigned rate, unsigned channels);

// Copies the video streams of `from` (no audio) into a new ASF file; false on failure.
bool writeVideoOnly(const std::string& from, const std::string& to);

}  // namespace media_reference
