#include "ogg_reference.h"

#define OV_EXCLUDE_STATIC_CALLBACKS
#include <vorbis/vorbisfile.h>

namespace orvox::test {

std::vector<int16_t> decodeOgg(const std::string& path, int64_t from) {
    std::vector<int16_t> pcm;
    OggVorbis_File vf;
    if (ov_fopen(path.c_str(), &vf) != 0) return pcm;
    // A chained file may be opened past a short first link: every link is decoded.
    if ((from != 0 || ov_streams(&vf) > 1) && ov_pcm_seek(&vf, from) != 0) {
        ov_clear(&vf);
        return pcm;
    }
    char block[8192];
    int section = 0;
    for (;;) {
        const long got = ov_read(&vf, block, sizeof block, 0, 2, 1, &section);
        if (got == OV_HOLE) continue;
        if (got <= 0) break;
        const auto* samples = reinterpret_cast<const int16_t*>(block);
        pcm.insert(pcm.end(), samples, samples + got / 2);
    }
    ov_clear(&vf);
    return pcm;
}

}  // namespace orvox::test
