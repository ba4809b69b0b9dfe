// Runs `scripts/run-demo` on a copy of the repository in a fresh temporary folder, so that
// nothing lies beside it, with this build's programs and demo media. Every part the demo
// reports must be heard in its time window of the render, and a part whose media are
// missing must stop the demo with a non-zero exit and a reason naming the part.
#include <gtest/gtest.h>

#include "openal_pinned.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct CommandResult {
    int status = -1;
    std::string output;  // standard output and error together
};

CommandResult runIn(const fs::path& dir, const std::string& command) {
    // The demo's EAX part starts OpenAL Soft in the host program, which inherits this setting:
    // no audio server is probed, as in every other test program.
    pinOpenAl();
    CommandResult run;
    const std::string line = "cd '" + dir.string() + "' && " + command + " 2>&1";
    FILE* pipe = popen(line.c_str(), "r");
    if (pipe == nullptr) return run;
    char chunk[4096];
    for (size_t n; (n = fread(chunk, 1, sizeof chunk, pipe)) > 0;) run.output.append(chunk, n);
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// The repository's files without its build folders, hidden folders and media log.
void copySources(const fs::path& from, const fs::path& to) {
    for (const fs::directory_entry& top : fs::directory_iterator(from)) {
        const std::string name = top.path().filename().string();
        if (name.starts_with("build") || name.starts_with(".") || name == "MediaLog.txt") continue;
        fs::copy(top.path(), to / name, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    }
}

// A copy of the repository in its own temporary folder, with build/ holding links to
// this build's programs and libraries and a copy of its demo media.
class RepositoryCopy {
public:
    RepositoryCopy() {
        std::string pattern = (fs::temp_directory_path() / "a5demo-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        parent_ = pattern;
        root_ = parent_ / "repo";
        fs::create_directories(root_ / "build");
        copySources(A5_SOURCE_DIR, root_);
        fs::create_directory_symlink(fs::path(A5_BUILD_DIR) / "bin", root_ / "build" / "bin");
        fs::create_directory_symlink(fs::path(A5_BUILD_DIR) / "lib", root_ / "build" / "lib");
        fs::copy(A5_DEMO_MEDIA_DIR, root_ / "build" / "demo-media", fs::copy_options::recursive);
    }
    ~RepositoryCopy() {
        std::error_code ec;
        fs::remove_all(parent_, ec);
    }
    RepositoryCopy(const RepositoryCopy&) = delete;
    RepositoryCopy& operator=(const RepositoryCopy&) = delete;

    const fs::path& root() const { return root_; }
    const fs::path& parent() const { return parent_; }

private:
    fs::path parent_, root_;
};

struct Window {
    double from = 0, to = 0;
};

// "demo: window NAME FROM TO" lines.
std::map<std::string, Window> windowsIn(const std::string& output) {
    std::map<std::string, Window> windows;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string demo, window, name;
        Window w;
        if (words >> demo >> window >> name >> w.from >> w.to && demo == "demo:" && window == "window") {
            windows[name] = w;
        }
    }
    return windows;
}

struct Render {
    unsigned rate = 0, channels = 0;
    std::vector<int16_t> samples;
};

// A 16-bit PCM WAV file as the wave output writes it.
Render readRender(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto le = [&](size_t at, int n) {
        uint32_t v = 0;
        for (int i = n - 1; i >= 0; --i) v = (v << 8) | bytes.at(at + static_cast<size_t>(i));
        return v;
    };
    Render render;
    for (size_t at = 12; at + 8 <= bytes.size();) {
        const std::string id(bytes.begin() + static_cast<std::ptrdiff_t>(at), bytes.begin() + static_cast<std::ptrdiff_t>(at + 4));
        const uint32_t size = le(at + 4, 4);
        if (id == "fmt ") {
            render.channels = le(at + 10, 2);
            render.rate = le(at + 12, 4);
            EXPECT_EQ(le(at + 22, 2), 16u);
        } else if (id == "data") {
            for (size_t i = at + 8; i + 1 < bytes.size() && i + 1 < at + 8 + size; i += 2) {
                render.samples.push_back(static_cast<int16_t>(le(i, 2)));
            }
        }
        at += 8 + size + (size & 1);
    }
    return render;
}

// dB full scale of the frames [from, to) of the render.
double levelOf(const Render& render, size_t from, size_t to) {
    double sum = 0;
    const size_t first = from * render.channels, last = std::min(to * render.channels, render.samples.size());
    for (size_t i = first; i < last; ++i) sum += double(render.samples[i]) * render.samples[i];
    const double rms = last > first ? std::sqrt(sum / double(last - first)) : 0;
    return 20 * std::log10(rms / 32768 + 1e-12);
}

TEST(Demo, EveryPartIsHeardOnACopyWithNothingBesideIt) {
    RepositoryCopy copy;
    ASSERT_FALSE(fs::exists(copy.root() / ".." / "shared"));
    const CommandResult run = runIn(copy.root(), "scripts/run-demo build");
    ASSERT_EQ(run.status, 0) << run.output;

    const std::map<std::string, Window> windows = windowsIn(run.output);
    for (const char* part : {"Ogg", "MP3", "MOD", "FLAC", "EAX", "CD", "wavestream"}) {
        EXPECT_TRUE(windows.contains(part)) << part << " did not run:\n" << run.output;
    }
    const Render render = readRender(copy.root() / "build" / "demo.wav");
    ASSERT_EQ(render.channels, 2u);
    ASSERT_GT(render.rate, 0u);
    // Fades, pauses and the gaps between songs are quiet, but most of each part is music.
    for (const auto& [name, window] : windows) {
        const size_t block = render.rate / 10;
        const auto from = static_cast<size_t>(window.from * render.rate);
        const auto to = static_cast<size_t>(window.to * render.rate);
        ASSERT_GT(to, from + 10 * block) << name;
        size_t blocks = 0, heard = 0;
        double loudest = -1000;
        for (size_t at = from; at + block <= to; at += block, ++blocks) {
            const double level = levelOf(render, at, at + block);
            heard += level > -50 ? 1 : 0;
            loudest = std::max(loudest, level);
        }
        EXPECT_GT(loudest, -25) << name;
        EXPECT_GE(heard * 10, blocks * 6) << name << ": " << heard << " of " << blocks << " blocks heard";
    }
}

struct MissingMedia {
    const char* file;
    const char* part;
};

// A failing case names the file it removed, not the bytes of two pointers.
void PrintTo(const MissingMedia& missing, std::ostream* out) { *out << missing.file; }

class DemoWithoutMedia : public testing::TestWithParam<MissingMedia> {};

TEST_P(DemoWithoutMedia, StopsWithTheReason) {
    RepositoryCopy copy;
    fs::remove(copy.root() / "build" / "demo-media" / GetParam().file);
    const CommandResult run = runIn(copy.root(), "scripts/run-demo build");
    EXPECT_NE(run.status, 0) << run.output;
    EXPECT_NE(run.output.find(std::string("demo: ") + GetParam().part + " does not play: "), std::string::npos)
        << run.output;
    EXPECT_EQ(run.output.find("demo rendered to"), std::string::npos) << run.output;
}

INSTANTIATE_TEST_SUITE_P(EachPart, DemoWithoutMedia,
                         testing::Values(MissingMedia{"theme.ogg", "Ogg"}, MissingMedia{"variation.mp3", "MP3"},
                                         MissingMedia{"tune.mod", "MOD"}, MissingMedia{"variation.flac", "FLAC"},
                                         MissingMedia{"disc.bin", "CD"},
                                         MissingMedia{"song.wav", "wavestream"}),
                         [](const testing::TestParamInfo<MissingMedia>& param) { return std::string(param.param.part); });

}  // namespace
