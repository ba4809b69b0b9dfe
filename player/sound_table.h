// The sound table: the index a script holds names one entry, which says which kind of
// source plays the sound and where that source sits in the list of its kind.
#pragma once

#include <cstdint>

namespace orvox {

enum SourceKind : int32_t {
    NoSource = 0,
    Mp3Stream = 1,
    WindowsMediaStream = 2,
    OggStream = 3,
    TrackerModule = 4,
};

struct SoundEntry {
    int32_t kind = NoSource;  // a SourceKind; anything outside 1..4 counts as no source
    int32_t slot = 0;         // position in the list of its kind; unused for tracker modules
};

}  // namespace orvox
