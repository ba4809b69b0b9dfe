// demo_media: makes the demo's music. Writes to OUTDIR an Ogg Vorbis song, the WAV
// songs that the build encodes to MP3 and that the WAV streamer plays, a tracker module
// and a three-track audio disc image, all synthesised from the same tune, so that the
// demo needs no media from outside the repository. Same output for every run.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>

#include "disc_image.h"
#include "module_song.h"
#include "output_file.h"
#include "score.h"
#include "synth.h"
#include "vorbis_file.h"
#include "wav_file.h"

namespace {

using demo_media::LeadSound;
using demo_media::Piece;

void makeMedia(const std::filesystem::path& dir) {
    std::filesystem::create_directories(dir);
    demo_media::saveFile(dir / "theme.ogg", demo_media::vorbisBytes(demo_media::render(Piece{"theme"})));
    demo_media::saveFile(dir / "variation.wav",
                         demo_media::wavBytes(demo_media::render(Piece{"variation", -3, 132, 4, LeadSound::Reed})));
    demo_media::saveFile(dir / "song.wav",
                         demo_media::wavBytes(demo_media::render(Piece{"song", 5, 110, 4, LeadSound::Organ})));
    demo_media::saveFile(dir / "tune.mod",
                         orvox::tracker::test::mod31(demo_media::moduleOf(Piece{"tune", 2, 125, 4, LeadSound::Reed}, 2)));
    demo_media::writeDiscImage(dir, "disc",
                               {demo_media::render(Piece{"track 1", 0, 100, 2, LeadSound::Organ, false}),
                                demo_media::render(Piece{"track 2", 7, 120, 2, LeadSound::Reed}),
                                demo_media::render(Piece{"track 3", -5, 140, 4, LeadSound::Organ})});
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 || std::string(argv[1]).starts_with("-")) {
        std::fputs("usage: demo_media OUTDIR\n"
                   "writes theme.ogg, variation.wav, song.wav, tune.mod, disc.cue and disc.bin to OUTDIR\n",
                   stderr);
        return 2;
    }
    try {
        makeMedia(argv[1]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "demo_media: %s\n", e.what());
        return 1;
    }
    return 0;
}
