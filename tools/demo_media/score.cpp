#include "score.h"

#include <cmath>
#include <iterator>

namespace demo_media {
namespace {

struct TuneNote {
    int step;  // within the four bars
    int length;
    int key;
};

// The melody over C, Am, F and G.
constexpr TuneNote kMelody[] = {
    {0, 4, 76},  {4, 2, 79},  {6, 2, 76},  {8, 2, 74},  {10, 2, 72}, {12, 2, 74}, {14, 2, 76},
    {16, 4, 72}, {20, 4, 69}, {24, 2, 72}, {26, 2, 76}, {28, 4, 81},
    {32, 2, 81}, {34, 2, 79}, {36, 4, 77}, {40, 2, 72}, {42, 2, 77}, {44, 4, 81},
    {48, 4, 79}, {52, 2, 77}, {54, 2, 74}, {56, 2, 71}, {58, 2, 74}, {60, 4, 79},
};

constexpr int kBassRoots[] = {48, 45, 41, 43};  // C, A, F, G

void addBar(std::vector<Note>& notes, const Piece& piece, int bar) {
    const int top = bar * kStepsPerBar;
    const int tuneBar = bar % 4;
    for (const TuneNote& n : kMelody) {
        if (n.step / kStepsPerBar == tuneBar) {
            notes.push_back({Voice::Lead, top + n.step % kStepsPerBar, n.length, n.key + piece.transpose});
        }
    }
    // Root, root, octave, fifth in eighth notes with a push on the last one.
    const int root = kBassRoots[tuneBar] + piece.transpose;
    constexpr struct {
        int step, length, interval;
    } kBass[] = {{0, 3, 0}, {4, 2, 0}, {6, 2, 12}, {8, 3, 0}, {12, 2, 7}, {14, 2, 12}};
    for (const auto& b : kBass) notes.push_back({Voice::Bass, top + b.step, b.length, root + b.interval});
    if (!piece.drums) return;
    for (int step : {0, 8, 10}) notes.push_back({Voice::Kick, top + step, 2, 0});
    for (int step : {4, 12}) notes.push_back({Voice::Snare, top + step, 2, 0});
    for (int step = 0; step < kStepsPerBar; step += 2) notes.push_back({Voice::HiHat, top + step, 1, 0});
}

}  // namespace

std::vector<Note> notesOf(const Piece& piece) {
    std::vector<Note> notes;
    for (int bar = 0; bar < piece.bars; ++bar) addBar(notes, piece, bar);
    return notes;
}

double stepSeconds(const Piece& piece) {
    return 60.0 / piece.bpm / 4;
}

double frequencyOf(int key) {
    return 440.0 * std::pow(2.0, (key - 69) / 12.0);
}

}  // namespace demo_media
