#include "stream_decode.h"

#include <filesystem>
#include <fstream>
#include <iterator>

#include "error_trap.h"
#include "memory_source.h"

namespace mpa::test {

std::vector<uint8_t> read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<int16_t> read_pcm(const std::string& path) {
  const std::vector<uint8_t> bytes = read_file(path);
  std::vector<int16_t> samples(bytes.size() / 2);
  for (size_t i = 0; i < samples.size(); ++i) {
    samples[i] = static_cast<int16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
  }
  return samples;
}

Decoded decode_stream(const std::vector<uint8_t>& bytes, const DecodeOptions& options) {
  MemorySource memory{bytes};
  auto decoder = std::make_unique<FrameDecoder>(memory.source());
  decoder->set_channel_mode(options.channel_mode);
  decoder->set_downsampling(options.downsampling);
  Decoded d;
  int16_t pcm[kMaxFrameSamples];
  while (d.frames + d.fatal < options.max_frames) {
    PcmFrame frame;
    int32_t rc = 0;
    try {
      rc = decoder->decode(pcm, frame);
    } catch (const FatalDecodeError&) {
      ++d.fatal;
      continue;
    }
    if (rc != 0) {
      d.end = rc;
      break;
    }
    ++d.frames;
    d.channels = frame.channels;
    d.sample_rate = frame.sample_rate;
    d.pcm.insert(d.pcm.end(), pcm, pcm + frame.samples * frame.channels);
  }
  return d;
}

std::string vectors_dir() {
  const std::string dir = std::string(A5_SHARED_DIR) + "/mpeg-vectors";
  return std::filesystem::is_directory(dir) ? dir : std::string{};
}

}  // namespace mpa::test
