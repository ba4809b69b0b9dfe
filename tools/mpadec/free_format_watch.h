// Watches the bytes the decoder reads for a free-format stream (bitrate index 0), which the
// decoder skips as invalid, so that mpadec can say why such a stream gave no frame.
#pragma once

#include <mpegaudio/decoder.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace mpadec {

// Finds free-format frame headers in a byte stream fed in pieces. One header alone is easily
// matched by chance in arbitrary data, so a stream counts as free format only when three
// headers of the same stream type follow each other at the same distance (give or take the
// padding slot).
class FreeFormatScanner {
  public:
    void feed(const uint8_t* bytes, size_t n);
    // Forgets the bytes seen so far (the input moved); a stream already found stays found.
    void restart();
    bool found() const { return found_; }

  private:
    struct Header {
        uint64_t position;
        uint32_t kind;  // sync, version, layer and sampling frequency bits
    };
    void candidate(uint64_t position, uint32_t kind);

    uint32_t window_ = 0;  // the last four bytes, most recent lowest
    uint64_t position_ = 0;
    std::vector<Header> recent_;
    bool found_ = false;
};

// The input filter that runs every read through a FreeFormatScanner: add it with
// decoder_add_input_filter, then ask free_format_seen after decoding.
const FilterDescriptor* free_format_watch();
bool free_format_seen(Decoder* d);

}  // namespace mpadec
