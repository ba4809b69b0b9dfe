// A piece as a four-channel tracker module: one row per sixteenth note (speed 6 at 125
// BPM, so a row lasts 0.12 s whatever the piece's tempo), lead, bass, kick and snare, and
// hi-hat each on a channel of its own, played from looped single cycles and one-shot hits
// of the same tones as the rendered PCM. The four bars fill one pattern; the order plays
// it `repeats` times.
#pragma once

#include <module_writer.h>

#include "score.h"

namespace demo_media {

orvox::tracker::test::ModSong moduleOf(const Piece& piece, unsigned repeats);

}  // namespace demo_media
