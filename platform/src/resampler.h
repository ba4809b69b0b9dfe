// The rate converter's filters: polyphase windowed-sinc (Kaiser window, about 70 dB of
// image and alias rejection, passband flat to 0.8 of the lower Nyquist frequency). Exact
// rational phase stepping: output frame n reads input position n × in / out with no
// drift; ratios whose reduced denominator is above kMaxPhases use the nearest of
// kMaxPhases filter phases. The filtering loop itself is MixKernels::resample.
//
// Filters are built once per (in, out) ratio and shared while anything uses them;
// building one is the only allocation, done when a rate is set, never while mixing.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace plat {

struct SincFilter {
    uint32_t up = 1;       // L: output steps per `down` input frames
    uint32_t down = 1;     // M
    uint32_t phases = 1;   // filter phases in the table
    uint32_t taps = 0;     // taps per phase, a multiple of 16
    std::vector<float> coefficients;  // phases × taps, phase-major
    // Taps before the current input frame: output at fractional position p reads input
    // frames floor(p) - before … floor(p) - before + taps - 1.
    uint32_t before() const { return taps / 2 - 1; }
    const float* phase(uint32_t accumulator) const {
        uint32_t index = phases == up ? accumulator : static_cast<uint32_t>(uint64_t(accumulator) * phases / up);
        return &coefficients[size_t(index) * taps];
    }
};

inline constexpr uint32_t kMaxPhases = 1024;

// The shared filter for a conversion from `inRate` to `outRate` (both > 0, not equal).
std::shared_ptr<const SincFilter> sincFilterFor(uint32_t inRate, uint32_t outRate);

}  // namespace plat
