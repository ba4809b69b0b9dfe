// PCM as a 16-bit stereo WAV file.
#pragma once

#include <cstdint>
#include <vector>

#include "synth.h"

namespace demo_media {

std::vector<std::uint8_t> wavBytes(const Pcm& pcm);

}  // namespace demo_media
