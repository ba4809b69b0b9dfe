// An audio disc image: DIR/NAME.cue with one BINARY file DIR/NAME.bin that holds the
// tracks one after another, each padded with silence to whole sectors. The PCM must be
// 44.1 kHz stereo. Throws std::runtime_error when a file cannot be written or a track
// does not fit a disc.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "synth.h"

namespace demo_media {

void writeDiscImage(const std::filesystem::path& dir, const std::string& name, const std::vector<Pcm>& tracks);

}  // namespace demo_media
