// The mpegaudio library's own decode of an MPEG audio file, frame by frame: what the MP3
// stream must deliver, from the second frame on.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orvox::test {

struct MpegDecode {
    std::vector<int16_t> pcm;  // every frame, interleaved
    size_t firstFrameSamples = 0;
    unsigned channels = 0;
    unsigned rate = 0;
    // The samples from the second frame on.
    std::vector<int16_t> afterFirstFrame() const {
        return {pcm.begin() + static_cast<long>(firstFrameSamples), pcm.end()};
    }
};

MpegDecode decodeMpeg(const std::string& path);

// Path of a file of the shared MPEG media, or of a conformance stream when `name` ends in
// ".bit"; empty when the shared data is absent.
std::string mpegMedia(const char* name);

}  // namespace orvox::test
