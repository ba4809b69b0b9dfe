// The evidence the MP3 probe asks of a file before it lets the decoder look at it. The
// decoder's own frame search runs as far into a file as it must, so in a large Ogg, WAV or
// tracker file it can meet byte patterns that pass for two frames in a row. Real MPEG audio
// starts within a short distance of the file's head (after any ID3v2 tags) and carries on as
// a run of frames whose headers agree with one another; chance data does neither.
#pragma once

#include <cstddef>
#include <cstdint>

namespace orvox::stream {

// How far after its ID3v2 tags a file may hold other data before its first frame.
inline constexpr size_t kMpegSearchBytes = 64 * 1024;
// Frames in a row, each header where the previous frame ends and agreeing with the first in
// version, layer, sampling frequency and channel count.
inline constexpr int kMpegFramesInARow = 6;

// True when `data` (the bytes that follow the file's ID3v2 tags) holds, within its first
// kMpegSearchBytes bytes, the start of kMpegFramesInARow agreeing frames. `reachesEnd` says
// that `data` runs to the end of the file: a run of at least two frames that the end of the
// file (or an ID3v1 tag just before it) cuts short then counts too.
bool mpegFramesAtHead(const uint8_t* data, size_t size, bool reachesEnd);

// Reads the head of the file `path`, skips its ID3v2 tags and applies mpegFramesAtHead.
// False when the file cannot be read.
bool hasMpegAudioEvidence(const char* path);

}  // namespace orvox::stream
