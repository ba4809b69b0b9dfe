#include "synth.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace demo_media {
namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;

// Deterministic noise for the drums.
class Noise {
public:
    double next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return static_cast<double>(state_) / 2147483648.0 - 1.0;
    }

private:
    std::uint32_t state_ = 0x9E3779B9u;
};

struct Mix {
    double gain, left, right;
};

Mix mixOf(Voice voice) {
    switch (voice) {
        case Voice::Lead: return {0.22, 0.6, 1.0};
        case Voice::Bass: return {0.32, 1.0, 1.0};
        case Voice::Kick: return {0.55, 1.0, 1.0};
        case Voice::Snare: return {0.28, 0.8, 1.0};
        case Voice::HiHat: return {0.10, 1.0, 0.4};
    }
    return {0, 0, 0};
}

// Attack, decay towards a sustain level, release after `held` seconds.
double envelope(double t, double held, double attack, double decay, double sustain, double release) {
    double level = t < attack ? t / attack : sustain + (1 - sustain) * std::exp(-(t - attack) / decay);
    if (t > held) level *= std::max(0.0, 1 - (t - held) / release);
    return level;
}

// The tone of one lead or bass note, without its gain.
std::vector<double> toneOf(const Note& note, const Piece& piece, int rate) {
    const double held = note.length * stepSeconds(piece) * 0.9;
    const double release = note.voice == Voice::Lead ? 0.08 : 0.05;
    const auto frames = static_cast<std::size_t>((held + release) * rate);
    const double cyclesPerFrame = frequencyOf(note.key) / rate;
    std::vector<double> out(frames);
    for (std::size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / rate;
        const double phase = std::fmod(static_cast<double>(i) * cyclesPerFrame, 1.0);
        out[i] = note.voice == Voice::Lead ? leadWave(piece.lead, phase) * envelope(t, held, 0.01, 0.3, 0.6, release)
                                           : bassWave(phase) * envelope(t, held, 0.005, 0.25, 0.5, release);
    }
    return out;
}

}  // namespace

double leadWave(LeadSound sound, double phase) {
    // Organ: the first four harmonics; reed: odd harmonics falling as 1/n, a soft square.
    constexpr double kOrgan[] = {1, 0.5, 0.3, 0.15};
    constexpr double kReed[] = {1, 0, 1.0 / 3, 0, 1.0 / 5, 0, 1.0 / 7};
    const double* amps = sound == LeadSound::Organ ? kOrgan : kReed;
    const int count = sound == LeadSound::Organ ? 4 : 7;
    double sum = 0, norm = 0;
    for (int h = 0; h < count; ++h) {
        sum += amps[h] * std::sin(kTwoPi * (h + 1) * phase);
        norm += amps[h];
    }
    return sum / norm;
}

double bassWave(double phase) {
    return (std::sin(kTwoPi * phase) + 0.4 * std::sin(2 * kTwoPi * phase)) / 1.4;
}

std::vector<double> drumHit(Voice drum, int rate) {
    const double seconds = drum == Voice::Kick ? 0.35 : drum == Voice::Snare ? 0.25 : 0.08;
    std::vector<double> out(static_cast<std::size_t>(seconds * rate));
    Noise noise;
    double phase = 0, previousNoise = 0;
    for (std::size_t i = 0; i < out.size(); ++i) {
        const double t = static_cast<double>(i) / rate;
        switch (drum) {
            case Voice::Kick:  // a sine falling from 150 Hz to 45 Hz
                phase += (45 + 105 * std::exp(-t / 0.04)) / rate;
                out[i] = std::sin(kTwoPi * phase) * std::exp(-t / 0.12);
                break;
            case Voice::Snare:
                out[i] = 0.6 * noise.next() * std::exp(-t / 0.07) + 0.4 * std::sin(kTwoPi * 185 * t) * std::exp(-t / 0.05);
                break;
            default: {  // hi-hat: noise with its low end taken out
                const double n = noise.next();
                out[i] = 0.5 * (n - previousNoise) * std::exp(-t / 0.025);
                previousNoise = n;
            }
        }
    }
    return out;
}

Pcm render(const Piece& piece, int rate) {
    const double step = stepSeconds(piece);
    const auto frames = static_cast<std::size_t>(piece.bars * kStepsPerBar * step * rate);
    std::vector<double> left(frames), right(frames);
    for (const Note& note : notesOf(piece)) {
        const bool drum = note.voice != Voice::Lead && note.voice != Voice::Bass;
        const std::vector<double> sound = drum ? drumHit(note.voice, rate) : toneOf(note, piece, rate);
        const Mix mix = mixOf(note.voice);
        const auto start = static_cast<std::size_t>(note.step * step * rate);
        for (std::size_t i = 0; i < sound.size(); ++i) {
            const std::size_t at = (start + i) % frames;
            left[at] += sound[i] * mix.gain * mix.left;
            right[at] += sound[i] * mix.gain * mix.right;
        }
    }
    double peak = 1e-9;
    for (std::size_t i = 0; i < frames; ++i) peak = std::max({peak, std::abs(left[i]), std::abs(right[i])});
    const double scale = 0.7 * 32767 / peak;  // about -3 dB full scale
    Pcm pcm;
    pcm.rate = rate;
    pcm.samples.resize(frames * 2);
    for (std::size_t i = 0; i < frames; ++i) {
        pcm.samples[2 * i] = static_cast<std::int16_t>(std::lround(left[i] * scale));
        pcm.samples[2 * i + 1] = static_cast<std::int16_t>(std::lround(right[i] * scale));
    }
    return pcm;
}

}  // namespace demo_media
