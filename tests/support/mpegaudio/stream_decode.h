// Test helpers: read a file, decode a whole stream from memory with the frame decoder.
#pragma once

#include <mpegaudio/decoder.h>

#include <cstdint>
#include <string>
#include <vector>

#include "codec/frame_decoder.h"
#include "memory_input.h"

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

// Decodes with the frame decoder alone.
Decoded decode_stream(const std::vector<uint8_t>& bytes, const DecodeOptions& options = {});

// A decoder with the MPEG codec reading bytes from memory.
class DecoderSession {
  public:
    explicit DecoderSession(std::vector<uint8_t> bytes, bool seekable = true);
    ~DecoderSession();
    DecoderSession(const DecoderSession&) = delete;
    DecoderSession& operator=(const DecoderSession&) = delete;

    // Registers the modules, attaches the bytes and opens them; the open's status.
    int32_t open();
    Decoder* get() const { return d_; }
    // Decodes with decoder_decode until it ends; -700 frames are counted and skipped.
    Decoded decode_all(uint32_t max_frames = 1u << 20);

  private:
    MemoryInputData data_;
    Decoder* d_ = nullptr;
};

// Decodes through the decoder's public interface.
Decoded decode_with_decoder(const std::vector<uint8_t>& bytes, const DecodeOptions& options = {});

// Folder of the shared conformance streams, or empty when they are absent.
std::string vectors_dir();

}  // namespace mpa::test
