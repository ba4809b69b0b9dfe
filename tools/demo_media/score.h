// The demo's music as notes: a four-bar tune (melody, bass line and a drum groove over
// I-vi-IV-V) in sixteenth-note steps, and the pieces the demo media are made of, each the
// tune in its own key, tempo, lead sound and length.
#pragma once

#include <string>
#include <vector>

namespace demo_media {

enum class Voice { Lead, Bass, Kick, Snare, HiHat };

struct Note {
    Voice voice;
    int step;    // start, in sixteenth notes from the top of the piece
    int length;  // in sixteenth notes
    int key;     // MIDI note number; ignored by the drums
};

enum class LeadSound { Organ, Reed };

struct Piece {
    std::string name;
    int transpose = 0;  // semitones
    double bpm = 120;
    int bars = 4;       // the four-bar tune repeats to fill them
    LeadSound lead = LeadSound::Organ;
    bool drums = true;
};

inline constexpr int kStepsPerBar = 16;

// Every note of the piece, bar by bar.
std::vector<Note> notesOf(const Piece& piece);

double stepSeconds(const Piece& piece);
double frequencyOf(int key);

}  // namespace demo_media
