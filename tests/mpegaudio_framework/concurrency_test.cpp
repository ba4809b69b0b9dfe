// Decoders share nothing: each thread may drive its own decoder at the same time.
#include <gtest/gtest.h>
#include <mpegaudio/file_modules.h>

#include <thread>
#include <vector>

#include "temp_dir.h"
#include "test_modules.h"

using namespace mpa_test;

namespace {

// Decodes the ramp of 200 frames to a WAV file; returns the number of frames decoded.
int decode_to_file(const std::string& path) {
    World w;
    if (w.open_ramp("a", ramp_input(200)) != 0) return -1;
    if (decoder_register_output(w.d, file_output_module()) < 0) return -1;
    const std::string name = "wav:" + path;
    if (decoder_attach_output(w.d, name.c_str(), -1) != 0 || decoder_open_output(w.d) != 0) return -1;
    int frames = 0;
    while (decoder_decode_to_output(w.d) == 0) ++frames;
    decoder_set_global_int(w.d, "done", frames);
    return decoder_close_output(w.d) == 0 ? frames : -1;
}

TEST(Concurrency, DecodersOnDifferentThreadsDoNotMeet) {
    TempDir dir;
    std::vector<int> frames(4, 0);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < frames.size(); ++i) {
        threads.emplace_back(
            [&, i] { frames[i] = decode_to_file(dir.file("out" + std::to_string(i) + ".wav")); });
    }
    for (auto& t : threads) t.join();
    for (size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(frames[i], 200);
        EXPECT_EQ(TempDir::read(dir.file("out" + std::to_string(i) + ".wav")).size(),
                  44u + 200u * kRampSamples * 4);
    }
}

}  // namespace
