// Renders a piece to 16-bit stereo PCM: additive lead and bass tones with short
// envelopes, synthesised drums. The same tones and hits make the samples of the tracker
// module. Output depends only on the piece and the rate; note tails that run past the
// end come back in at the top, so the piece loops without a click.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "score.h"

namespace demo_media {

struct Pcm {
    int rate = 44100;
    std::vector<std::int16_t> samples;  // stereo, interleaved
    std::size_t frames() const { return samples.size() / 2; }
};

Pcm render(const Piece& piece, int rate = 44100);

// One cycle of a tone, `phase` in cycles from 0 to 1; values within -1..1.
double leadWave(LeadSound sound, double phase);
double bassWave(double phase);
// A whole drum hit (Kick, Snare or HiHat) at `rate`, values within -1..1.
std::vector<double> drumHit(Voice drum, int rate);

}  // namespace demo_media
