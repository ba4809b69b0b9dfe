// Ogg Vorbis files made by the tests themselves, for what the shared media lack: chained
// files whose links differ in rate and channels, and long files of a given format.
#pragma once

#include <string>
#include <vector>

namespace orvox::test {

struct OggLink {
    long rate;
    int channels;
    std::vector<float> samples;  // interleaved, -1..1
};

// Encodes each link as a logical stream of its own, one after the other in one physical
// file (a chained file when there are several). False when the file cannot be written.
bool writeOggVorbis(const std::string& path, const std::vector<OggLink>& links);

// `frames` frames at `rate`, every channel the same sine sweeping linearly from `fromHz`
// to `toHz` (a steady tone when the two are equal), at half of full scale.
std::vector<float> sweep(long rate, int channels, double fromHz, double toHz, long frames);

}  // namespace orvox::test
