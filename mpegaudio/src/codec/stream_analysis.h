// What the start of an MPEG audio stream tells before decoding: the ID3v2 tag's length and
// the frame count and seek table of a Xing/"Lame" or VBRI header in the first frame.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "codec/frame.h"

namespace mpa {

// Bytes read at the stream's start: enough for a VBR header with its seek table at the
// farthest offset (36 + 4 + 4 + 4 + 4 + 100).
inline constexpr uint32_t kAnalysisBytes = 152;

// Length of the ID3v2 tag the bytes begin with (10 + its size), or 0 without a tag.
uint32_t id3v2_length(const uint8_t* bytes, size_t n);

struct VbrHeader {
    bool found = false;  // a Xing, "Lame" or VBRI header with a frame count
    uint32_t frames = 0;
    bool has_toc = false;  // Xing/"Lame" only: 100-entry seek table
    std::array<uint8_t, 100> toc{};
};

// Looks for the VBR header inside the first frame, which `bytes` starts with.
VbrHeader find_vbr_header(const uint8_t* bytes, size_t n, const FrameHeader& h);

// Maps a playing fraction through a seek table to a fraction of the audio bytes.
float map_through_toc(const std::array<uint8_t, 100>& toc, float fraction);

}  // namespace mpa
