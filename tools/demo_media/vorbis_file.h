// PCM as an Ogg Vorbis file, encoded by libvorbisenc (VBR, quality 0.4) with a fixed
// stream serial number so that the same PCM always gives the same bytes. Throws
// std::runtime_error when the encoder refuses the format.
#pragma once

#include <cstdint>
#include <vector>

#include "synth.h"

namespace demo_media {

std::vector<std::uint8_t> vorbisBytes(const Pcm& pcm);

}  // namespace demo_media
