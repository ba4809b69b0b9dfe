// Layer III frame decoding.
#pragma once

#include "codec/frame.h"
#include "codec/layer3_side_info.h"
#include "codec/synth.h"

namespace mpa {

// What one channel carries from granule to granule.
struct Layer3Channel {
    alignas(32) float spectrum[576];
    alignas(32) float overlap[18][32];
    alignas(32) float rows[18][32];  // hybrid output, time slot major
    int zero_subbands = 0;           // whole zero subbands at the top of the last spectrum
};

// Per-instance Layer III state.
struct Layer3State {
    unsigned shift = 0;  // downsampling shift of the current frame, set by the dispatcher
    l3::SideInfo side;
    l3::IntensityPositions intensity;
    Layer3Channel ch[2];
    alignas(32) float mix[32];
};

// Clears everything that carries over between frames (stream start, seek).
void layer3_reset(Layer3State& st);

// Decodes one Layer III frame whose side information frame_next has just read. Outputs as
// synth_output_row: either may be null, both the same object means mix. Emits 18 rows per
// granule (2 granules for MPEG-1, 1 otherwise) to each output; raises the fatal error on
// impossible side information.
void layer3_decode_frame(FrameReader& reader, const FrameHeader& h, Layer3State& st, SynthChannel* first,
                         SynthChannel* second);

}  // namespace mpa
