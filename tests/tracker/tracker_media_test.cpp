// Real modules from the shared media set, damaged input, and many play/stop cycles.
#include "tracker_fixture.h"

#include <mikmod.h>

#include <random>

#include "../shared_data.h"

namespace orvox::tracker::test {
namespace {

namespace fs = std::filesystem;

fs::path modulesDir() { return fs::path(A5_SHARED_DIR) / "media" / "modules"; }

std::vector<fs::path> sharedModules() {
    std::vector<fs::path> result;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(modulesDir(), error)) {
        if (entry.is_regular_file()) result.push_back(entry.path());
    }
    std::sort(result.begin(), result.end());
    return result;
}

// Files the library refuses outright, and ASYLUM modules, which need a loader
// (load_asy) that is not among the registered ones.
bool refused(const fs::path& path) {
    const std::string stem = path.stem().string();
    return stem.ends_with("_libmikmod_rejects") || stem.starts_with("amf_asylum");
}
bool silentByDesign(const fs::path& path) { return path.stem().string().find("_silent") != std::string::npos; }

using TrackerMedia = TrackerTest;

TEST_F(TrackerMedia, EverySharedModulePlaysOrIsRefused) {
    const auto modules = sharedModules();
    A5_SKIP_WITHOUT_SHARED(!modules.empty(), "modules in " << modulesDir());
    Capture capture;
    for (const fs::path& path : modules) {
        SCOPED_TRACE(path.filename().string());
        bringUp();
        const bool started = loadAndStart(path.c_str());
        if (refused(path)) {
            EXPECT_FALSE(started);
            continue;
        }
        ASSERT_TRUE(started);
        capture.take();
        advanceMs(2000);
        if (!silentByDesign(path)) {
            EXPECT_TRUE(audible(capture.take()));
        }
        stop();
    }
}

// Loads `bytes` as a module; if a loader takes it, lets it play a little.
void loadDamaged(const std::string& path, const Bytes& bytes) {
    writeFile(path, bytes);
    if (loadAndStart(path.c_str())) advanceMs(30);
}

std::vector<Bytes> sources() {
    std::vector<Bytes> result = {mod31(), mod15(), s3m(), xm()};
    for (const fs::path& path : sharedModules()) result.push_back(readFile(path));
    return result;
}

TEST_F(TrackerMedia, PathsWithoutAModuleGiveNone) {
    bringUp();
    EXPECT_FALSE(loadAndStart((dir_ / "missing.mod").c_str()));
    EXPECT_FALSE(loadAndStart(dir_.c_str()));  // a folder opens but reads nothing
    EXPECT_FALSE(loadAndStart(file("empty.mod", {}).c_str()));
    EXPECT_FALSE(loadAndStart(""));
    EXPECT_FALSE(isActive());
}

TEST_F(TrackerMedia, TruncatedModulesAreRefusedOrPlayWithoutHarm) {
    bringUp();
    const std::string path = (dir_ / "cut.mod").string();
    for (const Bytes& source : sources()) {
        for (std::size_t length : {std::size_t{0}, std::size_t{1}, std::size_t{4}, std::size_t{60},
                                   std::size_t{600}, std::size_t{1084}, source.size() / 3, source.size() / 2,
                                   source.size() - 1}) {
            if (length >= source.size()) continue;
            loadDamaged(path, Bytes(source.begin(), source.begin() + static_cast<std::ptrdiff_t>(length)));
        }
    }
    // Damage was either refused or played; the library still takes a sound module.
    ASSERT_TRUE(loadAndStart(file("good.mod", mod31()).c_str()));
}

TEST_F(TrackerMedia, RightMagicWithGarbageAfterIsHandled) {
    bringUp();
    std::mt19937 random(7);
    const std::string path = (dir_ / "garbage.bin").string();
    for (const Bytes& source : {mod31(), s3m(), xm()}) {
        for (int round = 0; round < 8; ++round) {
            Bytes bytes = source;
            // Keep the recognisable header start and the MOD signature, scramble the rest.
            for (std::size_t i = 64; i < bytes.size(); ++i) {
                if (i < 1080 || i >= 1084) bytes[i] = static_cast<std::uint8_t>(random());
            }
            loadDamaged(path, bytes);
        }
    }
    ASSERT_TRUE(loadAndStart(file("good.xm", xm()).c_str()));
}

TEST_F(TrackerMedia, MutatedModulesAreHandled) {
    bringUp();
    std::mt19937 random(1234);
    const std::string path = (dir_ / "mutated.bin").string();
    const auto originals = sources();
    constexpr int kCopies = 300;
    for (int copy = 0; copy < kCopies; ++copy) {
        Bytes bytes = originals[static_cast<std::size_t>(copy) % originals.size()];
        // A few bytes changed, most of them in the headers where the sizes and counts live.
        const int changes = 1 + static_cast<int>(random() % 8);
        for (int i = 0; i < changes && !bytes.empty(); ++i) {
            const std::size_t span = random() % 4 == 0 ? bytes.size() : std::min<std::size_t>(bytes.size(), 2048);
            bytes[random() % span] = static_cast<std::uint8_t>(random());
        }
        loadDamaged(path, bytes);
    }
    ASSERT_TRUE(loadAndStart(file("good.s3m", s3m()).c_str()));
}

TEST_F(TrackerMedia, TwoHundredPlayStopCyclesWithFades) {
    const std::string modules[] = {file("a.mod", mod31()), file("b.xm", xm())};
    for (int cycle = 0; cycle < 200; ++cycle) {
        ASSERT_TRUE(play(modules[cycle % 2])) << cycle;
        startFade(10, cycle % 3 == 0);
        advanceMs(cycle % 4 == 0 ? 510 : 40);
        if (cycle % 5 == 0) togglePause();
        stop();
    }
    EXPECT_FALSE(isActive());
}

}  // namespace
}  // namespace orvox::tracker::test
