// The sample formats that sound buffers take, and how a format record names them.
//
// Accepted, for one or two channels at DSBFREQUENCY_MIN..MAX Hz with a block alignment of
// exactly channels × bits / 8:
//   WAVE_FORMAT_PCM         8-bit unsigned, 16-, 24- (packed) or 32-bit signed little-endian
//   WAVE_FORMAT_IEEE_FLOAT  32-bit float
//   WAVE_FORMAT_EXTENSIBLE  (cbSize >= 22) with the PCM sub-format and any of the PCM sizes
//                           (valid bits 0 or up to the container's), or the IEEE float
//                           sub-format in 32 bits; the speaker mask is not used: one channel
//                           plays on both sides, two play left and right
// Everything else is refused: more than two channels (the mixer has no down-mix), 64-bit
// float, compressed formats.
#pragma once

#include <plat/dsound.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>

namespace plat {

enum class SampleType : uint8_t { U8, S16, S24, S32, F32 };

struct BufferFormat {
    SampleType type = SampleType::S16;
    uint32_t channels = 2;
    uint32_t rate = 44100;
    uint32_t blockAlign = 4;
};

// The format `record` describes, or nothing when no buffer can play it. Reads the
// extensible part only when the tag and cbSize say it is there.
std::optional<BufferFormat> playableFormat(const WAVEFORMATEX& record);

// Bytes of the record to read and keep: 40 for WAVE_FORMAT_EXTENSIBLE with room for its
// part (cbSize >= 22), else 18.
inline size_t formatRecordBytes(const WAVEFORMATEX& record) {
    return record.wFormatTag == WAVE_FORMAT_EXTENSIBLE &&
                   record.cbSize >= sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX)
               ? sizeof(WAVEFORMATEXTENSIBLE)
               : sizeof(WAVEFORMATEX);
}

// The byte that plays as silence: 0x80 for 8-bit samples, else 0.
inline uint8_t silenceByte(SampleType type) { return type == SampleType::U8 ? 0x80 : 0; }

// One sample as a float on the 16-bit scale: 8-bit samples × 256, 24- and 32-bit ones
// scaled down (24-bit values exactly), floats × 32768 after clamping to [-1, 1] (a NaN
// plays as silence), so that every type sums and clips alike.
inline float sampleValue(SampleType type, const uint8_t* p) {
    switch (type) {
        case SampleType::U8: return float((int(p[0]) - 128) * 256);
        case SampleType::S16: return float(int16_t(uint16_t(p[0] | (p[1] << 8))));
        case SampleType::S24: return float(int32_t(uint32_t(p[0] << 8 | p[1] << 16 | uint32_t(p[2]) << 24)) >> 8) / 256.0f;
        case SampleType::S32: {
            int32_t v;
            std::memcpy(&v, p, sizeof v);
            return float(v) / 65536.0f;
        }
        case SampleType::F32: {
            float v;
            std::memcpy(&v, p, sizeof v);
            if (!(v == v)) return 0.0f;
            return std::clamp(v, -1.0f, 1.0f) * 32768.0f;
        }
    }
    return 0.0f;
}

}  // namespace plat
