// Channel selection and downsampling on real Layer III streams, and odd inputs that must
// decode without harm.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "stream_decode.h"
#include "../shared_data.h"

namespace mpa::test {
namespace {

std::vector<int16_t> channel_of(const std::vector<int16_t>& stereo, int ch) {
    std::vector<int16_t> out;
    for (size_t i = static_cast<size_t>(ch); i < stereo.size(); i += 2) out.push_back(stereo[i]);
    return out;
}

TEST(Layer3Channels, OneChannelOutputsMatchTheStereoDecode) {
    const std::string dir = vectors_dir();
    A5_SKIP_WITHOUT_SHARED(!dir.empty(), "conformance streams under " << A5_SHARED_DIR);
    // MPEG-2 joint stereo with mid/side and intensity frames.
    const std::vector<uint8_t> bytes = read_file(dir + "/l3-test46.bit");
    const Decoded both = decode_stream(bytes);
    ASSERT_EQ(both.channels, 2u);
    const Decoded left = decode_stream(bytes, {1, 0});
    const Decoded right = decode_stream(bytes, {2, 0});
    const Decoded mix = decode_stream(bytes, {3, 0});
    EXPECT_EQ(left.channels, 1u);
    EXPECT_EQ(left.pcm, channel_of(both.pcm, 0));
    EXPECT_EQ(right.pcm, channel_of(both.pcm, 1));
    ASSERT_EQ(mix.pcm.size(), left.pcm.size());
    for (size_t i = 0; i < mix.pcm.size(); ++i) {
        // The mix is filtered once from the averaged subbands: equal to the average of the two
        // outputs up to rounding (and clipping, absent here).
        ASSERT_LE(std::abs(2 * mix.pcm[i] - (left.pcm[i] + right.pcm[i])), 3) << i;
    }
}

TEST(Layer3Channels, DownsamplingKeepsFrameCountsAndRates) {
    const std::vector<uint8_t> bytes =
        read_file(std::string(A5_SHARED_DIR) + "/media/mpeg/mp3_cbr128_jointstereo_44100.mp3");
    A5_SKIP_WITHOUT_SHARED(!bytes.empty(), "media files under " << A5_SHARED_DIR);
    for (uint32_t option = 0; option < 3; ++option) {
        SCOPED_TRACE(option);
        const Decoded d = decode_stream(bytes, {0, option, 100});
        EXPECT_EQ(d.fatal, 0u);
        EXPECT_EQ(d.sample_rate, 44100u >> option);
        EXPECT_EQ(d.pcm.size(), d.frames * 2u * (1152u >> option));
    }
}

// Illegal, truncated and unusual streams: every channel mode and rate decodes them without
// crashing, hanging or producing more samples than the frames allow.
TEST(Layer3Robustness, OddStreamsDecodeWithoutHarm) {
    const std::string shared = A5_SHARED_DIR;
    std::vector<std::string> files;
    for (const char* sub :
         {"/mpeg-vectors", "/mpeg-vectors/fuzz", "/mpeg-vectors/performance", "/media/mpeg"}) {
        const std::filesystem::path dir = shared + sub;
        if (!std::filesystem::is_directory(dir)) continue;
        for (const auto& e : std::filesystem::directory_iterator(dir)) {
            const std::string name = e.path().filename().string();
            const std::string ext = e.path().extension().string();
            const bool odd = name.rfind("ILL", 0) == 0 || name.find("nonstandard") != std::string::npos ||
                             name == "l3-he_free.bit" || ext == ".mp3";
            if (e.is_regular_file() && odd && ext != ".pcm") files.push_back(e.path().string());
        }
    }
    A5_SKIP_WITHOUT_SHARED(!files.empty(), "streams under " << shared);
    for (const std::string& f : files) {
        SCOPED_TRACE(f);
        const std::vector<uint8_t> bytes = read_file(f);
        for (uint32_t mode = 0; mode < 4; ++mode) {
            const Decoded d = decode_stream(bytes, {mode, mode % 3, 300});
            EXPECT_LE(d.pcm.size(), static_cast<size_t>(d.frames) * 2304u);
        }
    }
}

TEST(Layer3Robustness, FreeFormatStreamYieldsNoFrames) {
    const std::string dir = vectors_dir();
    A5_SKIP_WITHOUT_SHARED(!dir.empty(), "conformance streams under " << A5_SHARED_DIR);
    const Decoded d = decode_stream(read_file(dir + "/l3-he_free.bit"));
    EXPECT_EQ(d.frames, 0u);
    EXPECT_EQ(d.end, kEndOfInput);
}

}  // namespace
}  // namespace mpa::test
