// libvorbisfile's own decode of an Ogg Vorbis file: the reference the player's output is
// compared with.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orvox::test {

// The whole decode as interleaved 16-bit samples (the links of a chained file one after
// another, each in its own format), from PCM sample `from` on (0: the start, 1: where a
// looping pass restarts); empty when the file does not open.
std::vector<int16_t> decodeOgg(const std::string& path, int64_t from = 0);

}  // namespace orvox::test
