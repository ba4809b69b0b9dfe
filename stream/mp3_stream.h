// The MP3 kind of stream, tried first by the player for every file.
#pragma once

#include <memory>

#include "stream/buffer_stream.h"

namespace orvox::stream {

// A fresh MP3 stream (loop 1, not playing, no buffer), or null while this build has no
// MPEG audio source: the player's MP3 probe then refuses every file.
std::unique_ptr<BufferStream> makeMp3Stream();

}  // namespace orvox::stream
