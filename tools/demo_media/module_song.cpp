#include "module_song.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "synth.h"

namespace demo_media {
namespace {

using orvox::tracker::test::kModRows;
using orvox::tracker::test::ModCell;
using orvox::tracker::test::ModPattern;
using orvox::tracker::test::ModSample;
using orvox::tracker::test::ModSong;

// A sample at period p plays at this many bytes per second divided by p.
constexpr double kPeriodClock = 3546895.0;
constexpr unsigned kDrumPeriod = 214;
constexpr std::size_t kLeadCycle = 16, kBassCycle = 64;
// The periods every player of the format plays (three octaves from C-1).
constexpr unsigned kLowestPeriod = 856, kHighestPeriod = 113;
enum SampleNumber : unsigned { kLead = 1, kBass, kKick, kSnare, kHiHat };

std::int8_t toByte(double v) {
    return static_cast<std::int8_t>(std::clamp(std::lround(v * 127), -127L, 127L));
}

template <class Wave>
ModSample cycle(const char* name, std::size_t bytes, unsigned volume, Wave wave) {
    ModSample s{name, {}, volume, 0, bytes};
    for (std::size_t i = 0; i < bytes; ++i) s.data.push_back(toByte(wave(static_cast<double>(i) / bytes)));
    return s;
}

ModSample hit(const char* name, Voice drum, unsigned volume) {
    ModSample s{name, {}, volume, 0, 0};
    for (double v : drumHit(drum, static_cast<int>(kPeriodClock / kDrumPeriod))) s.data.push_back(toByte(v));
    if (s.data.size() % 2 != 0) s.data.push_back(0);
    return s;
}

unsigned periodOf(int key, std::size_t cycleBytes) {
    const auto period =
        static_cast<unsigned>(std::lround(kPeriodClock / (static_cast<double>(cycleBytes) * frequencyOf(key))));
    if (period < kHighestPeriod || period > kLowestPeriod) throw std::invalid_argument("a note lies outside the module's range");
    return period;
}

}  // namespace

ModSong moduleOf(const Piece& piece, unsigned repeats) {
    if (piece.bars != 4) throw std::invalid_argument("a module holds four bars of the tune");
    ModSong song;
    song.title = piece.name;
    song.samples.push_back(cycle("lead", kLeadCycle, 40, [&](double p) { return leadWave(piece.lead, p); }));
    song.samples.push_back(cycle("bass", kBassCycle, 56, bassWave));
    song.samples.push_back(hit("kick", Voice::Kick, 64));
    song.samples.push_back(hit("snare", Voice::Snare, 44));
    song.samples.push_back(hit("hihat", Voice::HiHat, 24));

    ModPattern pattern{};
    for (const Note& note : notesOf(piece)) {
        ModCell cell;
        std::size_t channel = 0;
        switch (note.voice) {
            case Voice::Lead: cell = {periodOf(note.key, kLeadCycle), kLead, 0, 0}; channel = 0; break;
            case Voice::Bass: cell = {periodOf(note.key, kBassCycle), kBass, 0, 0}; channel = 1; break;
            case Voice::Kick: cell = {kDrumPeriod, kKick, 0, 0}; channel = 2; break;
            case Voice::Snare: cell = {kDrumPeriod, kSnare, 0, 0}; channel = 2; break;
            case Voice::HiHat: cell = {kDrumPeriod, kHiHat, 0, 0}; channel = 3; break;
        }
        pattern[static_cast<std::size_t>(note.step)][channel] = cell;
        // Looped tones would ring on: silence them where the note ends, unless the next starts there.
        const int end = note.step + note.length;
        if (channel < 2 && end < kModRows && pattern[static_cast<std::size_t>(end)][channel].period == 0) {
            pattern[static_cast<std::size_t>(end)][channel] = {0, 0, 0xC, 0};
        }
    }
    song.patterns.push_back(pattern);
    song.order.assign(repeats, 0);
    return song;
}

}  // namespace demo_media
