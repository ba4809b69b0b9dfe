#include "codec/layer3.h"

namespace mpa {

void layer3_reset(Layer3State& st) { st = Layer3State{}; }

// Placeholder until the Layer III decoder lands: a frame of silence of the right length.
void layer3_decode_frame(FrameReader& /*reader*/, const FrameHeader& h, Layer3State& /*st*/,
                         SynthChannel* first, SynthChannel* second) {
  const unsigned rows = h.samples() / kSubbands;
  for (unsigned i = 0; i < rows; ++i) {
    if (first != nullptr) synth_silence(*first);
    if (second != nullptr && second != first) synth_silence(*second);
  }
}

}  // namespace mpa
