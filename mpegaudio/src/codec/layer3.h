// Layer III frame decoding.
#pragma once

#include "codec/frame.h"
#include "codec/synth.h"

namespace mpa {

// Per-instance Layer III state. Its owner extends it with whatever carries over between frames.
struct Layer3State {
  unsigned shift = 0;  // downsampling shift of the current frame, set by the dispatcher
};

// Clears everything that carries over between frames (stream start, seek).
void layer3_reset(Layer3State& st);

// Decodes one Layer III frame whose side information frame_next has just read. Outputs as
// synth_output_row: either may be null, both the same object means mix. Emits 18 rows per
// granule (2 granules for MPEG-1, 1 otherwise) to each output; raises the fatal error on
// impossible side information.
void layer3_decode_frame(FrameReader& reader, const FrameHeader& h, Layer3State& st,
                         SynthChannel* first, SynthChannel* second);

}  // namespace mpa
