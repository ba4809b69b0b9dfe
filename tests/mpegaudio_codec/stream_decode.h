// Test helpers: read a file, decode a whole stream from memory with the frame decoder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "codec/frame_decoder.h"

namespace mpa::test {

std::vector<uint8_t> read_file(const std::string& path);
std::vector<int16_t> read_pcm(const std::string& path);

struct Decoded {
  std::vector<int16_t> pcm;
  uint32_t frames = 0;
  uint32_t fatal = 0;        // frames dropped by the fatal error
  uint32_t channels = 0;     // of the last frame
  uint32_t sample_rate = 0;  // of the last frame
  int32_t end = 0;           // the status that ended decoding
};

struct DecodeOptions {
  uint32_t channel_mode = 0;
  uint32_t downsampling = 0;
  uint32_t max_frames = 1u << 20;
};

Decoded decode_stream(const std::vector<uint8_t>& bytes, const DecodeOptions& options = {});

// Folder of the shared conformance streams, or empty when they are absent.
std::string vectors_dir();

}  // namespace mpa::test
