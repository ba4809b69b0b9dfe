// The MP3 probe's evidence rule on the shared media: every MPEG file passes it, nothing else
// does, and neither do random files, however large.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "mpeg_evidence.h"
#include "../shared_data.h"

namespace orvox::stream {
namespace {

namespace fs = std::filesystem;

const fs::path kShared = A5_SHARED_DIR;

std::vector<fs::path> filesIn(const fs::path& dir) {
    std::vector<fs::path> files;
    if (!fs::is_directory(dir)) return files;
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.is_regular_file()) files.push_back(entry.path());
    return files;
}

bool isMpegMedia(const fs::path& p) {
    return p.parent_path().filename() == "mpeg" && p.filename().string().find("ogg_vorbis") == std::string::npos;
}

std::vector<fs::path> allMedia() {
    std::vector<fs::path> all;
    for (const char* dir : {"mpeg", "ogg", "modules", "wav", "wma", "cd"}) {
        const auto files = filesIn(kShared / "media" / dir);
        all.insert(all.end(), files.begin(), files.end());
    }
    return all;
}

#define REQUIRE_SHARED() A5_SKIP_WITHOUT_SHARED(fs::is_directory(kShared / "media"), kShared / "media")

TEST(MpegEvidence, EveryMpegFileOfTheMediaPasses) {
    REQUIRE_SHARED();
    int checked = 0;
    for (const fs::path& p : allMedia()) {
        if (!isMpegMedia(p)) continue;
        EXPECT_TRUE(hasMpegAudioEvidence(p.c_str())) << p;
        ++checked;
    }
    EXPECT_GE(checked, 10);
}

TEST(MpegEvidence, NoOtherFileOfTheMediaPasses) {
    REQUIRE_SHARED();
    int checked = 0;
    for (const fs::path& p : allMedia()) {
        if (isMpegMedia(p)) continue;
        EXPECT_FALSE(hasMpegAudioEvidence(p.c_str())) << p;
        ++checked;
    }
    EXPECT_GE(checked, 70);
}

TEST(MpegEvidence, ConformanceStreamsPass) {
    const fs::path dir = kShared / "mpeg-vectors";
    A5_SKIP_WITHOUT_SHARED(fs::is_directory(dir), dir);
    int checked = 0;
    for (const fs::path& p : filesIn(dir)) {
        const std::string name = p.filename().string();
        // The ISO set; free format has no frame length in its headers.
        if (p.extension() != ".bit" || name.starts_with("ILL") || name == "l3-he_free.bit") continue;
        if (name.find("nonstandard") != std::string::npos) continue;
        EXPECT_TRUE(hasMpegAudioEvidence(p.c_str())) << p;
        ++checked;
    }
    EXPECT_GE(checked, 30);
}

class RandomFile : public ::testing::Test {
protected:
    void TearDown() override { fs::remove(path_); }
    const std::string& write(size_t bytes, uint32_t seed) {
        std::mt19937 random(seed);
        std::vector<char> data(bytes);
        for (char& c : data) c = static_cast<char>(random());
        path_ = (fs::temp_directory_path() / ("mpeg_evidence_" + std::to_string(seed) + ".bin")).string();
        std::ofstream(path_, std::ios::binary).write(data.data(), static_cast<std::streamsize>(data.size()));
        return path_;
    }
    std::string path_;
};

TEST_F(RandomFile, LargeRandomFilesDoNotPass) {
    for (uint32_t seed = 1; seed <= 8; ++seed) EXPECT_FALSE(hasMpegAudioEvidence(write(4 << 20, seed).c_str()));
}

TEST_F(RandomFile, RandomDataFullOfSyncWordsDoesNotPass) {
    // Every other byte 0xFF: a valid-looking header wherever the next byte allows one.
    std::mt19937 random(7);
    std::vector<uint8_t> data(256 * 1024);
    for (size_t i = 0; i < data.size(); ++i) data[i] = i % 2 == 0 ? 0xFF : static_cast<uint8_t>(random());
    EXPECT_FALSE(mpegFramesAtHead(data.data(), data.size(), false));
}

// Six frames of Layer III, MPEG-1, 44.1 kHz, 128 kbit/s, stereo: 417 bytes each, no padding.
std::vector<uint8_t> frames(int count) {
    std::vector<uint8_t> data;
    for (int f = 0; f < count; ++f) {
        data.insert(data.end(), {0xFF, 0xFB, 0x90, 0x00});
        data.insert(data.end(), 413, 0x11);
    }
    return data;
}

TEST(MpegEvidence, RunOfFramesAfterJunkPassesWithinTheSearchDistanceOnly) {
    std::vector<uint8_t> near(4096, 0x20);
    const auto run = frames(kMpegFramesInARow);
    near.insert(near.end(), run.begin(), run.end());
    EXPECT_TRUE(mpegFramesAtHead(near.data(), near.size(), false));

    std::vector<uint8_t> far(kMpegSearchBytes + 1, 0x20);
    far.insert(far.end(), run.begin(), run.end());
    EXPECT_FALSE(mpegFramesAtHead(far.data(), far.size(), false));
}

TEST(MpegEvidence, ShortRunPassesOnlyWhenTheFileEndsWithIt) {
    auto data = frames(3);
    EXPECT_TRUE(mpegFramesAtHead(data.data(), data.size(), true));
    EXPECT_FALSE(mpegFramesAtHead(data.data(), data.size(), false));
    data.resize(data.size() - 100);  // cut inside the last frame
    EXPECT_TRUE(mpegFramesAtHead(data.data(), data.size(), true));
    const auto single = frames(1);
    EXPECT_FALSE(mpegFramesAtHead(single.data(), single.size(), true)) << "one frame is no run";
}

TEST(MpegEvidence, RunBrokenByADisagreeingHeaderFails) {
    auto data = frames(kMpegFramesInARow);
    data[3 * 417 + 2] = 0x94;  // the fourth frame claims 48 kHz
    EXPECT_FALSE(mpegFramesAtHead(data.data(), data.size(), false));
    data[3 * 417 + 2] = 0x90;
    data[3 * 417 + 3] = 0xC0;  // the fourth frame claims a single channel
    EXPECT_FALSE(mpegFramesAtHead(data.data(), data.size(), false));
    data[3 * 417 + 3] = 0x40;  // joint stereo agrees with stereo
    EXPECT_TRUE(mpegFramesAtHead(data.data(), data.size(), false));
}

TEST(MpegEvidence, FileThatCannotBeReadFails) {
    EXPECT_FALSE(hasMpegAudioEvidence("/nonexistent/file.mp3"));
    EXPECT_FALSE(hasMpegAudioEvidence(fs::temp_directory_path().c_str()));
}

}  // namespace
}  // namespace orvox::stream
