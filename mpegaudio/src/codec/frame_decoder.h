// Per-frame dispatch of the MPEG audio codec, independent of the decoder framework: finds the
// next frame, wires the synthesis channels to the caller's PCM buffer by the channel mode,
// chooses the downsampling shift and runs the frame's layer decoder.
#pragma once

#include <cstdint>

#include "codec/frame.h"
#include "codec/layer3.h"
#include "codec/synth.h"

namespace mpa {

// Largest PCM one frame produces: 1152 samples x 2 channels.
inline constexpr uint32_t kMaxFrameSamples = 1152 * 2;

struct PcmFrame {
    uint32_t samples = 0;      // per channel
    uint32_t channels = 0;     // 1 or 2
    uint32_t sample_rate = 0;  // after downsampling
    int32_t stream_error = 0;  // the first recoverable stream error met on the way to this frame
};

class FrameDecoder {
  public:
    explicit FrameDecoder(ByteSource source);

    // Decodes the next frame into `pcm` (room for kMaxFrameSamples). Returns 0 or the frame
    // layer's read error (kEndOfInput at the end). Corrupt side information raises the fatal
    // error (FatalDecodeError); the decoder stays usable and the next call takes the next frame.
    // A recoverable stream error comes out with the frame that follows it (out.stream_error);
    // one met after the last frame, before the end of the input, is dropped.
    int32_t decode(int16_t* pcm, PcmFrame& out);

    // The header of the last frame found.
    const FrameHeader& header() const { return header_; }

    // Clears the filter histories, the Layer III state and the frame layer (stream start, seek).
    void reset();

    // 0 both channels interleaved, 1 first only, 2 second only, 3 mixed to one; other values
    // count as 0.
    void set_channel_mode(uint32_t mode) { channel_mode_ = mode; }
    uint32_t channel_mode() const { return channel_mode_; }
    // 0 full rate, 1 half, 2 quarter.
    void set_downsampling(uint32_t option) { downsampling_ = option; }
    uint32_t downsampling() const { return downsampling_; }
    // 64 equalizer steps (32 per channel) or null for none.
    void set_equalizer(const int8_t* steps);
    void get_equalizer(int8_t* steps) const;

  private:
    FrameReader reader_;
    FrameHeader header_;
    SynthChannel synth_[2];
    Layer3State layer3_;
    uint32_t channel_mode_ = 0;
    uint32_t downsampling_ = 0;
};

}  // namespace mpa
