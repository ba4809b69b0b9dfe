#include "codec/stream_analysis.h"

#include <cstring>

namespace mpa {

namespace {

uint32_t be32(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

// Where the VBR header sits: after the side information (the CRC is not counted).
uint32_t vbr_offset(const FrameHeader& h) {
    if (h.version == 1) return h.mode == 3 ? 21 : 36;
    return h.mode == 3 ? 13 : 21;
}

}  // namespace

uint32_t id3v2_length(const uint8_t* bytes, size_t n) {
    if (n < 10 || std::memcmp(bytes, "ID3", 3) != 0) return 0;
    uint32_t size = 0;
    for (int i = 6; i < 10; ++i) size = size << 7 | (bytes[i] & 0x7Fu);
    return 10 + size;
}

VbrHeader find_vbr_header(const uint8_t* bytes, size_t n, const FrameHeader& h) {
    VbrHeader v;
    const size_t at = vbr_offset(h);
    if (n < at + 8) return v;
    const uint8_t* tag = bytes + at;
    if (std::memcmp(tag, "Xing", 4) == 0 || std::memcmp(tag, "Lame", 4) == 0) {
        const uint32_t flags = be32(tag + 4);
        size_t pos = at + 8;
        if ((flags & 1) != 0) {
            if (n < pos + 4) return v;
            v.found = true;
            v.frames = be32(bytes + pos);
            pos += 4;
        }
        if ((flags & 2) != 0) pos += 4;  // byte count, not used
        if ((flags & 4) != 0 && n >= pos + 100) {
            v.has_toc = true;
            std::memcpy(v.toc.data(), bytes + pos, 100);
        }
    } else if (std::memcmp(tag, "VBRI", 4) == 0 && n >= at + 18) {
        v.found = true;
        v.frames = be32(tag + 14);
    }
    return v;
}

float map_through_toc(const std::array<uint8_t, 100>& toc, float fraction) {
    const float scaled = 100.0f * fraction;
    const auto i = static_cast<int>(scaled);
    if (i >= 100) return 1.0f;
    if (i < 0) return 0.0f;
    const float a = toc[static_cast<size_t>(i)];
    const float b = i == 99 ? 256.0f : toc[static_cast<size_t>(i) + 1];
    return ((scaled - static_cast<float>(i)) * (b - a) + a) / 256.0f;
}

}  // namespace mpa
