// Layer I and Layer II frame decoding.
#pragma once

#include "codec/frame.h"
#include "codec/synth.h"

namespace mpa {

// Decode the frame body frame_next has read into the frame buffer and hand the rows to the
// outputs (as synth_output_row). `shift` is the downsampling shift: subbands from 32 >> shift
// up are zero. Forbidden values raise the fatal error.
void layer1_decode_frame(FrameReader& reader, const FrameHeader& h, unsigned shift, SynthChannel* first,
                         SynthChannel* second);
void layer2_decode_frame(FrameReader& reader, const FrameHeader& h, unsigned shift, SynthChannel* first,
                         SynthChannel* second);

}  // namespace mpa
