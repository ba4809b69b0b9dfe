// Polyphase synthesis filterbank and 16-bit PCM conversion, one SynthChannel per output channel.
#pragma once

#include <array>
#include <cstdint>

namespace mpa {

inline constexpr unsigned kSubbands = 32;

struct SynthChannel {
    // V history as two banks used alternately. A bank holds one column of 16 phases per ring
    // position, each column stored twice (at positions p and p + 16) so that the 16 newest
    // columns lie side by side from any position. Phase 16, which only output 16 reads, is
    // kept apart in `middle`, arranged the same way.
    alignas(32) float banks[2][32][16] = {};
    alignas(32) float middle[2][32] = {};
    unsigned bank = 0;  // current bank
    unsigned pos = 0;   // ring position 0..15 (newest value)
    bool has_gains = false;
    std::array<float, kSubbands> gains{};
    unsigned shift = 0;      // downsampling: outputs 32 >> shift samples per row
    int16_t* out = nullptr;  // next sample to write; advances with every sample
    unsigned stride = 1;     // samples between two outputs (2 for interleaved stereo)
};

// Filters one row of 32 subband samples (time slot) and writes 32 >> shift samples.
void synth_row(SynthChannel& ch, const float* row);
// The two builds of synth_row, exposed so that both can be tested: the portable one, and the
// AVX2 one, which returns false (and does nothing) where the CPU or compiler lacks it.
void synth_row_portable(SynthChannel& ch, const float* row);
bool synth_row_wide(SynthChannel& ch, const float* row);
// Writes 32 >> shift zero samples without touching the filter history.
void synth_silence(SynthChannel& ch);
// Clears the filter history.
void synth_reset(SynthChannel& ch);
// Equalizer: 32 steps (gain 1 + s/32 for s >= 0, 1/(1 - s/32) below), or null for none.
void synth_set_gains(SynthChannel& ch, const int8_t* steps);
// The steps that reproduce the current gains (zeros when none are set).
void synth_get_steps(const SynthChannel& ch, int8_t* steps);

// Hands one time slot to the outputs the way every layer does: with two distinct outputs the
// left row goes to `first` and the right row to `second`; when both are the same object it
// receives the mix (left + right) / 2; with one output it receives its channel's row (a mono
// stream passes right == nullptr and its one row goes to whichever output exists).
// `scratch` holds 32 floats for the mix.
void synth_output_row(SynthChannel* first, SynthChannel* second, const float* left, const float* right,
                      float* scratch);

// Downsampling shift for an option (0 full, 1 half, 2 quarter) and a stream sample rate.
unsigned downsample_shift(uint32_t option, uint32_t sample_rate);

}  // namespace mpa
