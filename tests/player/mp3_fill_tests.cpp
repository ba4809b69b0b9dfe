// The MP3 stream's fill and restart driven directly, region by region, against the
// library's own decode: which frames are heard, what the staging block carries from one
// region to the next, and how much of the last region the data fills.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "mp3_stream.h"
#include "mpeg_reference.h"
#include "player_fixture.h"
#include "../shared_data.h"

namespace orvox::test {
namespace {

namespace fs = std::filesystem;

// The stream with its fill and restart in reach.
class DrivenMp3 : public stream::Mp3Stream {
public:
    using Mp3Stream::restartAtEnd;
    void setLoop(int32_t loop) { loop_.store(loop); }
    void setPlaying() { playing_.store(1); }

    // One region of `bytes`, locked as two parts when `firstPart` is smaller: the part of
    // it that the fill says it wrote.
    std::vector<uint8_t> fillRegion(size_t bytes, size_t firstPart = SIZE_MAX) {
        std::vector<uint8_t> region(bytes, 0xA5);
        const size_t b1 = std::min(bytes, firstPart);
        const DWORD written = fill(region.data(), static_cast<DWORD>(b1), b1 < bytes ? region.data() + b1 : nullptr,
                                   static_cast<DWORD>(bytes - b1));
        EXPECT_TRUE(written == bytes || !isPlaying()) << "only the end of the data leaves a region short";
        region.resize(std::min<size_t>(written, bytes));
        return region;
    }
};

std::vector<uint8_t> bytesOf(const std::vector<int16_t>& pcm) {
    std::vector<uint8_t> bytes(pcm.size() * 2);
    std::memcpy(bytes.data(), pcm.data(), bytes.size());
    return bytes;
}

class Mp3Fill : public PlayerTest {
protected:
    // The stream's buffer lives on the test's device, which goes at the end of the test.
    void TearDown() override {
        stream_.shutdown();
        PlayerTest::TearDown();
    }
    // Opens `path` for playback, as the player's second open does.
    void open(const std::string& path) {
        ASSERT_TRUE(stream_.open(path.c_str(), false, device_.get()));
        stream_.setPlaying();
    }
    // Fills regions of the given sizes in turn (the last one repeated) until the data ends;
    // returns everything written and, in `endRegionStart`, where the region that met the
    // end began.
    std::vector<uint8_t> fillToEnd(const std::vector<size_t>& sizes, size_t* endRegionStart) {
        std::vector<uint8_t> out;
        for (size_t i = 0; stream_.isPlaying() && i < 10000; ++i) {
            const size_t n = sizes[std::min(i, sizes.size() - 1)];
            *endRegionStart = out.size();
            const auto region = stream_.fillRegion(n, i % 3 == 1 ? n / 3 : SIZE_MAX);
            out.insert(out.end(), region.begin(), region.end());
        }
        return out;
    }

    DrivenMp3 stream_;
};

TEST_F(Mp3Fill, RegionsCarryTheDecodeFromTheSecondFrameToItsLastSample) {
    for (const char* name : {"mp3_cbr128_jointstereo_44100.mp3", "mp3_mpeg2_lsf_mono_22050.mp3",
                             "mp2_layer2_192k_stereo_44100.mp2", "mp3_truncated_midframe.mp3"}) {
        SCOPED_TRACE(name);
        const std::string path = mpegMedia(name);
        A5_SKIP_WITHOUT_SHARED(!path.empty(), name);
        const std::vector<uint8_t> expected = bytesOf(decodeMpeg(path).afterFirstFrame());
        ASSERT_GT(expected.size(), 65536u);

        DrivenMp3 stream;
        ASSERT_TRUE(stream.open(path.c_str(), false, device_.get()));
        stream.setPlaying();
        std::vector<uint8_t> out;
        size_t endRegionStart = 0;
        // Regions of every kind: the usual half buffer, nearly the whole buffer, a sliver
        // smaller than a frame, and some split in two parts.
        const size_t sizes[] = {32768, 65532, 4, 1000, 32764, 17640};
        for (size_t i = 0; stream.isPlaying(); ++i) {
            ASSERT_LT(i, 1000u);
            endRegionStart = out.size();
            const size_t n = sizes[i % std::size(sizes)];
            const auto region = stream.fillRegion(n, i % 2 == 0 ? n / 2 : SIZE_MAX);
            out.insert(out.end(), region.begin(), region.end());
        }
        // The data ended in the last region, and not before it.
        EXPECT_LE(endRegionStart, expected.size());
        EXPECT_TRUE(out == expected) << "written " << out.size() << " of " << expected.size();
        EXPECT_EQ(stream.stagedBytes(), 0u) << "nothing is carried past the end";
    }
}

TEST_F(Mp3Fill, RegionSmallerThanTheSurplusFillsWithoutDecoding) {
    const std::string path = mpegMedia("mp3_cbr128_jointstereo_44100.mp3");
    A5_SKIP_WITHOUT_SHARED(!path.empty(), "mp3_cbr128_jointstereo_44100.mp3");
    const std::vector<uint8_t> expected = bytesOf(decodeMpeg(path).afterFirstFrame());
    open(path);

    auto out = stream_.fillRegion(1000);
    const uint32_t surplus = stream_.stagedBytes();
    EXPECT_EQ(surplus, 4608u - 1000u) << "one stereo frame decoded";
    for (int i = 0; i < 3; ++i) {
        const auto more = stream_.fillRegion(1000);
        out.insert(out.end(), more.begin(), more.end());
    }
    EXPECT_EQ(stream_.stagedBytes(), surplus - 3000) << "no frame decoded";
    const auto rest = stream_.fillRegion(4000);
    out.insert(out.end(), rest.begin(), rest.end());
    EXPECT_EQ(stream_.stagedBytes(), 2 * 4608u - 8000u);
    EXPECT_TRUE(std::equal(out.begin(), out.end(), expected.begin()));
}

TEST_F(Mp3Fill, LaterFramesLargerThanTheFirstStayInsideStaging) {
    // Layer I frames (384 samples) first, then Layer III frames (1152 samples), all at
    // 44.1 kHz stereo: the staging block must take the later frames whole.
    const std::string layer1 = mpegMedia("l1-fl6.bit");
    const std::string layer3 = mpegMedia("mp3_cbr128_jointstereo_44100.mp3");
    A5_SKIP_WITHOUT_SHARED(!layer1.empty() && !layer3.empty(), "l1-fl6.bit and mp3_cbr128_jointstereo_44100.mp3");
    const fs::path joined = workDir_ / "layer1_then_layer3.mp3";
    {
        std::ofstream out(joined, std::ios::binary);
        out << std::ifstream(layer1, std::ios::binary).rdbuf() << std::ifstream(layer3, std::ios::binary).rdbuf();
    }
    const MpegDecode reference = decodeMpeg(joined.string());
    ASSERT_EQ(reference.firstFrameSamples, 2u * 384);
    const std::vector<uint8_t> expected = bytesOf(reference.afterFirstFrame());
    ASSERT_GT(expected.size(), 2u * 65536);

    open(joined.string());
    size_t endRegionStart = 0;
    const std::vector<uint8_t> out = fillToEnd({65532}, &endRegionStart);
    ASSERT_GE(out.size(), expected.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), out.begin()));
}

TEST_F(Mp3Fill, LoopingStreamRestartsAtTheFirstFrameAfterSilence) {
    const std::string path = mpegMedia("real_mp3_bladeenc_no_vbr_header.mp3");
    A5_SKIP_WITHOUT_SHARED(!path.empty(), "real_mp3_bladeenc_no_vbr_header.mp3");
    const MpegDecode reference = decodeMpeg(path);
    const std::vector<uint8_t> firstPass = bytesOf(reference.afterFirstFrame());
    const std::vector<uint8_t> laterPass = bytesOf(reference.pcm);
    open(path);
    stream_.setLoop(1);

    size_t endRegionStart = 0;
    const std::vector<uint8_t> pass1 = fillToEnd({32768}, &endRegionStart);
    ASSERT_TRUE(pass1 == firstPass);

    // The next tick rewinds and the refill goes on with the first frame.
    EXPECT_TRUE(stream_.restartAtEnd());
    EXPECT_EQ(stream_.stagedBytes(), 0u);
    stream_.setPlaying();
    const std::vector<uint8_t> pass2 = fillToEnd({32768}, &endRegionStart);
    EXPECT_TRUE(pass2 == laterPass);
}

TEST_F(Mp3Fill, NonLoopingStreamDoesNotStartOverAndShutdownReleasesTheDecoder) {
    const std::string path = mpegMedia("real_mp3_vbri_header_truncated_rare_frames.mp3");
    A5_SKIP_WITHOUT_SHARED(!path.empty(), "real_mp3_vbri_header_truncated_rare_frames.mp3");
    open(path);
    stream_.setLoop(0);
    size_t endRegionStart = 0;
    fillToEnd({32768}, &endRegionStart);
    EXPECT_FALSE(stream_.restartAtEnd());
    EXPECT_FALSE(stream_.isPlaying());
    EXPECT_TRUE(stream_.holdsDecoder());
    stream_.shutdown();
    EXPECT_FALSE(stream_.holdsDecoder());
    EXPECT_EQ(stream_.buffer(), nullptr);
}

TEST_F(Mp3Fill, ProbeTakesMpegFilesOnlyAndKeepsNothing) {
    const fs::path media = fs::path(A5_SHARED_DIR) / "media";
    A5_SKIP_WITHOUT_SHARED(fs::is_directory(media), media);
    int mpeg = 0;
    int other = 0;
    for (const auto& dir : fs::directory_iterator(media)) {
        if (!dir.is_directory()) continue;
        for (const auto& file : fs::directory_iterator(dir.path())) {
            const std::string name = file.path().filename().string();
            const bool isMpeg = dir.path().filename() == "mpeg" && name.find("ogg_vorbis") == std::string::npos;
            stream::Mp3Stream probe;
            EXPECT_EQ(probe.open(file.path().c_str(), true, device_.get()), isMpeg) << name;
            EXPECT_FALSE(probe.holdsDecoder()) << name;
            EXPECT_EQ(probe.buffer(), nullptr) << name;
            ++(isMpeg ? mpeg : other);
        }
    }
    EXPECT_GE(mpeg, 10);
    EXPECT_GE(other, 70);
    EXPECT_TRUE(device_->buffers().empty()) << "a probe makes no sound buffer";
}

}  // namespace
}  // namespace orvox::test
