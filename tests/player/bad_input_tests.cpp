// Files and names that no source should take, or only partly: each gets its result and
// log line, and nothing crashes, hangs or leaks (the sanitizer builds run these too).
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "player_fixture.h"

// Full stacks for the leak check: the suppressions of tests/lsan.supp name library calls
// that the fast unwinder never reaches from inside those libraries.
extern "C" const char* __asan_default_options();
extern "C" const char* __asan_default_options() { return "fast_unwind_on_malloc=0"; }

namespace orvox::test {
namespace {

constexpr int32_t kNoSource = -1;
constexpr const char* kNoOpen = "Error: WMA/WMV/ASF: Couldn't open file in Play\n";
constexpr const char* kMusic = "ogg_stereo_44100_music_skull_stones.ogg";

std::string fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const std::string& name, const std::string& bytes) {
    std::ofstream(name, std::ios::binary) << bytes;
}

// Granule position of the Ogg page at `at`.
uint64_t granule(const std::string& bytes, size_t at) {
    uint64_t g = 0;
    std::memcpy(&g, bytes.data() + at + 6, sizeof g);
    return g;
}

// Length of the Ogg page at `at` (header, segment table and body).
size_t pageLength(const std::string& bytes, size_t at) {
    const auto segments = static_cast<unsigned char>(bytes[at + 26]);
    size_t body = 0;
    for (size_t i = 0; i < segments; ++i) body += static_cast<unsigned char>(bytes[at + 27 + i]);
    return 27 + segments + body;
}

class BadInput : public PlayerTest {
protected:
    void expectRefused(const std::string& name, const std::string& line) {
        const std::string before = readLog();
        const int32_t index = player_->lastIndex() + 1;
        EXPECT_EQ(player_->play(name.c_str(), 1024), kNoSource) << name;
        EXPECT_EQ(readLog(), before + line) << name;
        EXPECT_EQ(player_->lastIndex(), index) << name;
        EXPECT_EQ(player_->isPlaying(host::toFixed(index)), 0);
        EXPECT_EQ(player_->stop(host::toFixed(index)), 1);
    }
};

TEST_F(BadInput, FilesNoSourceReads) {
    writeFile("empty.ogg", "");
    std::mt19937 rng(3);
    std::string noise(200000, '\0');
    for (char& c : noise) c = static_cast<char>(rng());
    writeFile("noise.ogg", noise);
    writeFile("magic_only.ogg", "OggS" + noise.substr(0, 4000));
    expectRefused("empty.ogg", kNoOpen);
    expectRefused("noise.ogg", kNoOpen);
    expectRefused("magic_only.ogg", kNoOpen);
    EXPECT_EQ(device_->buffers().size(), 0u);
}

// Two damaged files on which a library leaks inside the call that refuses them (named in
// tests/lsan.supp): a chained Ogg file whose ov_open fails, which the media reader then plays
// as far as FFmpeg reads it, and a truncated OKT module, which nothing reads. Under ASan the
// leak check at the end of this test's process reports anything else that leaks.
TEST_F(BadInput, FilesOnWhichALibraryLeaksAreRefusedByIt) {
    for (const char* name : {"ogg_open_failure_leak.ogg", "okt_truncated_leak.okt"}) {
        const std::filesystem::path path = std::filesystem::path(A5_SHARED_DIR) / "repro" / name;
        A5_SKIP_WITHOUT_SHARED(std::filesystem::exists(path), path);
    }
    const std::string ogg = (std::filesystem::path(A5_SHARED_DIR) / "repro" / "ogg_open_failure_leak.ogg").string();
    EXPECT_EQ(player_->play(ogg.c_str(), 0), 0);
    EXPECT_EQ(readLog(), "Success: WMA/WMV/ASF: " + ogg + " playing with index: 0\n");
    expectRefused((std::filesystem::path(A5_SHARED_DIR) / "repro" / "okt_truncated_leak.okt").string(), kNoOpen);
}

TEST_F(BadInput, DamagedHeadersAreRefused) {
    REQUIRE_MEDIA(path, kMusic);
    const std::string good = fileBytes(path);
    std::string identification = good;
    identification.replace(29, 6, "VORBIS");  // the packet's "vorbis" signature
    writeFile("identification.ogg", identification);
    std::string setup = good;
    const size_t second = pageLength(good, 0);
    for (size_t i = second + 200; i < second + 1200 && i < setup.size(); ++i) setup[i] = static_cast<char>(~setup[i]);
    writeFile("setup.ogg", setup);
    expectRefused("identification.ogg", kNoOpen);
    expectRefused("setup.ogg", kNoOpen);
}

TEST_F(BadInput, MissingAndNamelessFilesUseNoIndex) {
    EXPECT_EQ(player_->play("nothing here.ogg", 0), 0);
    EXPECT_EQ(player_->play(nullptr, 0), 0);
    EXPECT_EQ(readLog(), "Error: Orvox_Play - nothing here.ogg does not exist\nError: Orvox_Play -  does not exist\n");
    EXPECT_EQ(player_->lastIndex(), -1);
}

TEST_F(BadInput, NamesOf256CharactersOrMoreAreRefusedBeforeAnythingOpens) {
    REQUIRE_MEDIA(path, kMusic);
    const std::string folder(200, 'd');
    std::filesystem::create_directory(folder);
    const std::string fits = folder + "/" + std::string(50, 'x') + ".ogg";  // 255 characters
    const std::string tooLong = folder + "/" + std::string(51, 'x') + ".ogg";
    const std::string longer = folder + "/" + std::string(95, 'y') + ".ogg";  // 300
    for (const std::string& name : {fits, tooLong, longer}) std::filesystem::copy_file(path, name);

    EXPECT_EQ(player_->play(fits.c_str(), 0), 0);
    EXPECT_EQ(player_->isPlaying(0), 1);
    const std::string before = readLog();
    EXPECT_EQ(player_->play(tooLong.c_str(), 0), kNoSource);
    EXPECT_EQ(player_->play(longer.c_str(), 0), kNoSource);
    EXPECT_EQ(readLog(), before + "Error: Orvox_Play - " + tooLong + " has a name of 256 characters or more\n" +
                             "Error: Orvox_Play - " + longer + " has a name of 256 characters or more\n");
    EXPECT_EQ(player_->lastIndex(), 2);
    EXPECT_EQ(device_->buffers().size(), 1u);
    const std::string missing = folder + "/" + std::string(95, 'z') + ".ogg";
    EXPECT_EQ(player_->play(missing.c_str(), 0), 0);
}

TEST_F(BadInput, TruncatedFilePlaysToItsCutAndEnds) {
    REQUIRE_MEDIA(path, kMusic);
    const std::string good = fileBytes(path);
    writeFile("cut.ogg", good.substr(0, good.size() / 20 + 1234));  // about 2 s, cut inside a page
    ASSERT_EQ(player_->play("cut.ogg", 0), 0);
    advanceMs(1000);
    EXPECT_EQ(player_->isPlaying(0), 1);
    advanceMs(3000);
    EXPECT_EQ(player_->isPlaying(0), 0);
    EXPECT_FALSE(bufferPlaying(0));

    ASSERT_EQ(player_->play("cut.ogg", 1024), 1024);
    advanceMs(8000);
    EXPECT_EQ(player_->isPlaying(1024), 1) << "a looping cut file loops";
}

TEST_F(BadInput, DamagedAudioPagesNeverStopTheStream) {
    REQUIRE_MEDIA(path, kMusic);
    std::string damaged = fileBytes(path);
    std::mt19937 rng(11);
    for (size_t i = 8000; i < damaged.size() / 10; i += 1500) damaged[i] = static_cast<char>(rng());
    writeFile("damaged.ogg", damaged);
    ASSERT_EQ(player_->play("damaged.ogg", 1024), 0);
    advanceMs(6000);
    EXPECT_EQ(player_->isPlaying(0), 1);
}

TEST_F(BadInput, HeadersWithoutAudioNeverSpinWhenLooping) {
    REQUIRE_MEDIA(path, kMusic);
    const std::string good = fileBytes(path);
    std::string headers;
    for (size_t at = 0; at < good.size() && granule(good, at) == 0; at += pageLength(good, at))
        headers += good.substr(at, pageLength(good, at));
    ASSERT_LT(headers.size(), good.size());
    writeFile("headers.ogg", headers);
    const int32_t result = player_->play("headers.ogg", 1024);
    if (result == kNoSource) {
        EXPECT_NE(readLog().find(kNoOpen), std::string::npos);
        return;
    }
    ASSERT_EQ(result, 0);
    advanceMs(2000);  // returns: the fill did not spin
    EXPECT_EQ(player_->isPlaying(0), 0) << "a file with nothing to play ends";
}

}  // namespace
}  // namespace orvox::test
