// Runs the a5host program on scripts against a small test plug-in.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "cd_image.h"
#include "ogg_reference.h"
#include "../shared_data.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

struct HostRun {
    int status = -1;
    std::string out;
    std::string err;
};

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class HostProgram : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::temp_directory_path() / ("a5host_" + std::to_string(getpid()) + "_" + info->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path write(const std::string& name, const std::string& text) {
        std::ofstream(dir_ / name, std::ios::binary) << text;
        return dir_ / name;
    }

    // Runs a5host with args in the scratch folder as its current directory.
    HostRun run(std::vector<std::string> args) {
        args.insert(args.begin(), A5HOST_PATH);
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);

        const std::string outPath = (dir_ / "stdout.txt").string();
        const std::string errPath = (dir_ / "stderr.txt").string();
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addchdir_np(&actions, dir_.c_str());
        pid_t pid = 0;
        HostRun result;
        if (posix_spawn(&pid, A5HOST_PATH, &actions, nullptr, argv.data(), environ) == 0) {
            int status = 0;
            waitpid(pid, &status, 0);
            result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        posix_spawn_file_actions_destroy(&actions);
        result.out = readFile(outPath);
        result.err = readFile(errPath);
        return result;
    }

    // Runs a script that gets the test plug-in's path as arg[1].
    HostRun runScript(const std::string& script, std::vector<std::string> options = {"--output", "null"}) {
        write("script.lua", "local PLUGIN = arg[1]\n" + script);
        options.push_back("script.lua");
        options.push_back(TEST_PLUGIN_PATH);
        return run(options);
    }

    fs::path dir_;
};

TEST_F(HostProgram, CallsExportsWithEngineNumbersAndStrings) {
    const HostRun r = runScript(R"(
        local tp = plugin(PLUGIN)
        print(tp.tp_add(1.5, 2), fixed(tp.tp_add(1.5, 2)))
        print(tp.tp_toInt(2.7), tp.tp_toInt(-0.5), tp.tp_toInt(3.9), tp.tp_toInt(-0.25))
        print(tp.tp_length("hello"), tp.tp_length(""), tp.tp_length(nil))
        print(tp.tp_four(1, 2, 3, 4), tp.tp_four(5))
        print(tp.tp_add(-1, 0), fixed(-1))
    )");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "3584\t3.5\n"
              "2\t-1\t3\t-1\n"
              "5120\t0\t-1\n"
              "4321\t5\n"
              "-1024\t-0.0009765625\n");
}

TEST_F(HostProgram, HandsTheEngineObjectsToPlugins) {
    const HostRun r = runScript(R"(
        local tp = plugin(PLUGIN)
        print(tp.tp_engineReady())
        print(services())
        print(tp.tp_initServices(), services())
        -- a second load of the same plug-in is a new entry call on the same library
        local again = plugin(PLUGIN)
        print(again.tp_engineReady(), again.tp_add(1, 1))
    )");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "1\n0\t0\n1\t1\t1\n1\t2048\n");
}

TEST_F(HostProgram, FindsBareNamesInItsLibraryFolderAndPathsFromTheStartDirectory) {
    const fs::path plugin = TEST_PLUGIN_PATH;
    write("data.bin", std::string(300, 'x'));
    const HostRun r = runScript("local bare = plugin('" + plugin.filename().string() +
                                "')\n"
                                "print(bare.tp_add(1, 2))\n"
                                // Relative names the plug-in opens resolve where a5host was started.
                                "print(bare.tp_fileSize('data.bin'), bare.tp_fileSize('missing.bin'))\n"
                                "print(pcall(plugin, './nowhere.so'))\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, r.out.find("false")), "3072\n307200\t-1\n");
    EXPECT_NE(r.out.find("false\tplugin: cannot load './nowhere.so'"), std::string::npos) << r.out;
}

TEST_F(HostProgram, ScriptErrorsEndWithAMessageAndStatusOne) {
    struct Case {
        const char* script;
        const char* message;
    };
    const Case cases[] = {
        {"plugin('no-such-plugin.so')", "cannot load 'no-such-plugin.so'"},
        {"plugin(PLUGIN).tp_missing()", "has no export 'tp_missing'"},
        {"plugin(PLUGIN).tp_four(1, 2, 3, 4, 5)", "at most 4 arguments"},
        {"plugin(PLUGIN).tp_add(3000000, 0)", "outside the engine's number range"},
        {"plugin(PLUGIN).tp_add(0/0, 0)", "outside the engine's number range"},
        {"plugin(PLUGIN).tp_length({})", "argument 1 is a table"},
        {"local t = plugin(PLUGIN); local f = t[1]", "named by strings"},
        {"wait(-1)", "seconds must be"},
        {"fixed(2^40)", "not a 32-bit result"},
        {"error('scripted failure')", "scripted failure"},
        {"error({})", "error object is a table value"},
        {"this is not lua", "script.lua:2"},
    };
    for (const auto& c : cases) {
        const HostRun r = runScript(c.script);
        EXPECT_EQ(r.status, 1) << c.script;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.script << "\n" << r.err;
        EXPECT_EQ(r.err.rfind("a5host: ", 0), 0u) << r.err;
    }

    const HostRun missing = run({"--output", "null", "absent.lua"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("absent.lua"), std::string::npos);

    // Precompiled chunks are refused rather than trusted.
    write("binary.lua", std::string("\x1bLua\x54\x00garbage", 13));
    const HostRun binary = run({"--output", "null", "binary.lua"});
    EXPECT_EQ(binary.status, 1);
    EXPECT_NE(binary.err.find("binary"), std::string::npos) << binary.err;
}

TEST_F(HostProgram, UsageErrorsEndWithStatusTwo) {
    EXPECT_EQ(run({}).status, 2);
    const HostRun badRate = run({"--rate", "100", "x.lua"});
    EXPECT_EQ(badRate.status, 2);
    EXPECT_NE(badRate.err.find("usage:"), std::string::npos);
    const HostRun help = run({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("plugin(NAME)"), std::string::npos);
}

TEST_F(HostProgram, VerboseListsEveryCallWithItsResult) {
    const HostRun r = runScript(R"(
        local tp = plugin(PLUGIN)
        tp.tp_add(1.5, 2)
        tp.tp_length("a b")
    )",
                                {"--output", "null", "-v"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("A5_DLLAPI -> 511"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("a5host: tp_add(1.5, 2) -> 3584"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("a5host: tp_length(\"a b\") -> 3072"), std::string::npos) << r.err;
}

TEST_F(HostProgram, ResourcesAreRegisteredByNameAndType) {
    write("a.wav", std::string(1234, 'a'));
    write("b.wav", std::string(55, 'b'));
    const HostRun r =
        runScript(R"(
        local tp = plugin(PLUGIN)
        print(fixed(tp.tp_resourceSize("song", "WAVE")), fixed(tp.tp_resourceSize("jingle", "WAV")))
        print(tp.tp_resourceSize("song", "WAV"), tp.tp_resourceSize("other", "WAVE"))
    )",
                  {"--output", "null", "--resource", "song=a.wav", "--resource", "jingle=b.wav:WAV"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "1234.0\t55.0\n-1\t-1\n");

    // What is not a regular file of at most 256 MiB is refused at once.
    ASSERT_EQ(::mkfifo((dir_ / "fifo.wav").c_str(), 0600), 0);
    fs::resize_file(write("huge.wav", ""), (uintmax_t{256} << 20) + 1);
    const std::pair<const char*, const char*> refused[] = {
        {"absent.wav", "No such file or directory"},
        {"fifo.wav", "not a regular file"},
        {"/dev/zero", "not a regular file"},
        {"huge.wav", "larger than 256 MiB"},
    };
    for (const auto& [file, reason] : refused) {
        const HostRun bad = runScript("error('the script must not run')",
                                      {"--output", "null", "--resource", std::string("song=") + file});
        EXPECT_EQ(bad.status, 1) << file;
        EXPECT_NE(bad.err.find(std::string("resource file '") + file), std::string::npos) << bad.err;
        EXPECT_NE(bad.err.find(reason), std::string::npos) << bad.err;
        EXPECT_EQ(bad.err.find("must not run"), std::string::npos) << bad.err;
    }
}

struct Wav {
    unsigned channels = 0;
    unsigned rate = 0;
    unsigned bits = 0;
    std::vector<int16_t> samples;
};

// Reads the chunks of a PCM WAV file; an empty result when it is not one.
Wav readWav(const fs::path& path) {
    const std::string bytes = readFile(path);
    Wav wav;
    if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 4, "WAVE") != 0) return wav;
    auto u32 = [&](size_t at) {
        uint32_t v;
        std::memcpy(&v, bytes.data() + at, 4);
        return v;
    };
    auto u16 = [&](size_t at) {
        uint16_t v;
        std::memcpy(&v, bytes.data() + at, 2);
        return v;
    };
    for (size_t at = 12; at + 8 <= bytes.size();) {
        const uint32_t size = u32(at + 4);
        const size_t body = at + 8;
        if (size > bytes.size() - body) break;
        if (bytes.compare(at, 4, "fmt ") == 0 && size >= 16 && u16(body) == 1) {
            wav.channels = u16(body + 2);
            wav.rate = u32(body + 4);
            wav.bits = u16(body + 14);
        } else if (bytes.compare(at, 4, "data") == 0) {
            wav.samples.resize(size / 2);
            std::memcpy(wav.samples.data(), bytes.data() + body, wav.samples.size() * 2);
        }
        at = body + size + (size & 1);
    }
    return wav;
}

double rms(const Wav& wav, double fromSeconds, double toSeconds) {
    const size_t from = static_cast<size_t>(fromSeconds * wav.rate) * wav.channels;
    const size_t to = std::min(wav.samples.size(), static_cast<size_t>(toSeconds * wav.rate) * wav.channels);
    double sum = 0;
    for (size_t i = from; i < to; ++i) sum += double(wav.samples[i]) * wav.samples[i];
    return to > from ? std::sqrt(sum / double(to - from)) : 0.0;
}

TEST_F(HostProgram, RendersAScriptToAWavFileTheSameEveryTime) {
    const std::string script = R"(
        local tp = plugin(PLUGIN)
        assert(tp.tp_beep() == 1)
        wait(1.5)
        tp.tp_release()
        wait(0.5)
    )";
    const HostRun r = runScript(script, {"--render", "first.wav", "--rate", "22050"});
    ASSERT_EQ(r.status, 0) << r.err;
    const Wav wav = readWav(dir_ / "first.wav");
    ASSERT_EQ(wav.channels, 2u);
    EXPECT_EQ(wav.rate, 22050u);
    EXPECT_EQ(wav.bits, 16u);
    // Two seconds of script time; the mixer may round to its block size.
    const double seconds = double(wav.samples.size()) / 2 / 22050;
    EXPECT_NEAR(seconds, 2.0, 0.05);
    // One second of sound at 8 kHz, played once, then silence.
    EXPECT_GT(rms(wav, 0.1, 0.9), 5000.0);
    EXPECT_LT(rms(wav, 1.1, 2.0), 1.0);

    ASSERT_EQ(runScript(script, {"--render", "second.wav", "--rate", "22050"}).status, 0);
    EXPECT_TRUE(readFile(dir_ / "first.wav") == readFile(dir_ / "second.wav"));
}

// A render into a pipe: one header that states the largest size (no header can be written
// again at the end), then the samples.
TEST_F(HostProgram, RendersIntoAPipeWithOneHeader) {
    const fs::path fifo = dir_ / "fifo.wav";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // Half a second at 22.05 kHz fits into the pipe, so a5host never waits for this reader.
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    const HostRun r = runScript("local tp = plugin(PLUGIN)\ntp.tp_beep()\nwait(0.5)",
                                {"--render", "fifo.wav", "--rate", "22050"});
    std::string bytes(1 << 17, '\0');
    const ssize_t got = ::read(reader, bytes.data(), bytes.size());
    ::close(reader);
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_GT(got, 44);
    bytes.resize(static_cast<size_t>(got));
    uint32_t riffSize = 0, dataSize = 0;
    std::memcpy(&riffSize, bytes.data() + 4, 4);
    std::memcpy(&dataSize, bytes.data() + 40, 4);
    EXPECT_EQ(bytes.compare(0, 4, "RIFF"), 0);
    EXPECT_EQ(bytes.compare(36, 4, "data"), 0);
    EXPECT_EQ(riffSize, 0xFFFFFFFFu);
    EXPECT_EQ(dataSize, 0xFFFFFFFFu - 36);
    EXPECT_EQ(bytes.find("RIFF", 4), std::string::npos) << "a second header in the data";
    EXPECT_NEAR(double(bytes.size() - 44) / 4 / 22050, 0.5, 0.02);
}

TEST_F(HostProgram, AnOutputFileThatIsNotWrittenWholeIsAnError) {
    // A FIFO without a reader does not open (and does not wait for one); a full device
    // opens, and then every write fails.
    ASSERT_EQ(::mkfifo((dir_ / "fifo.wav").c_str(), 0600), 0);
    struct Case {
        const char* file;
        bool opens;
        const char* reason;
    };
    const Case cases[] = {
        {"no-dir/x.wav", false, "cannot write 'no-dir/x.wav'"},
        {"fifo.wav", false, "cannot write 'fifo.wav'"},
        {"/dev/full", true, "cannot write '/dev/full': No space left on device"},
    };
    for (const Case& c : cases) {
        for (const char* option : {"--render", "--output"}) {
            const std::string target =
                std::string(option) == "--render" ? c.file : std::string("wav:") + c.file;
            const std::string script =
                c.opens ? "local tp = plugin(PLUGIN)\ntp.tp_beep()\nwait(0.3)\nprint('ran')"
                        : "error('the script must not run')";
            const HostRun r = runScript(script, {option, target});
            EXPECT_EQ(r.status, 1) << option << " " << c.file;
            EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
            EXPECT_EQ(r.out, c.opens ? "ran\n" : "") << option << " " << c.file;
        }
    }
}

// The engine's CD through the player: --cd-image names the disc, the completion notice
// reaches the engine's window, and the disc's samples reach the render.
TEST_F(HostProgram, PlaysTheCdImageGivenOnTheCommandLine) {
    cdtest::ImageLayout layout;
    layout.tracks = {{75}, {75}};
    const std::string cue = cdtest::writeImage(dir_ / "disc", "disc", layout);
    write("script.lua", R"(
        local orvox = plugin(arg[1])
        print(fixed(orvox.Orvox_NumberOfTracksCD()), orvox.Orvox_PlayCD(1, 2))
        wait(0.5)
        print(#messages())
        wait(0.6)
        for _, m in ipairs(messages()) do print(m.message, m.wparam, m.lparam > 0) end
        print(fixed(orvox.Orvox_GetCurrTrackCD()), orvox.Orvox_NextTrackCD(), fixed(orvox.Orvox_GetCurrTrackCD()))
        orvox.Orvox_Shutdown()
    )");
    const HostRun r = run({"--render", "cd.wav", "--cd-image", cue, "script.lua", ORVOX_PLUGIN_PATH});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "2.0\t1\n0\n953\t1\ttrue\n2.0\t1\t1.0\n");
    const Wav wav = readWav(dir_ / "cd.wav");
    const std::vector<int16_t> first(wav.samples.begin(), wav.samples.begin() + 2 * 75 * 588);
    EXPECT_EQ(first, cdtest::patternFrames(0, 75 * 588));  // the script's clock starts with the play
    EXPECT_EQ(readFile(dir_ / "MediaLog.txt"), "Success: CD Audio: Playing\nSuccess: Shutdown\n");
}

TEST_F(HostProgram, ArgumentsOfThePlugInsExportsAreChecked) {
    const std::pair<const char*, const char*> cases[] = {
        {"plugin(ORVOX).Orvox_Play(12345, 1)", "Orvox_Play: argument 1 (name) must be a string, got number"},
        {"plugin(ORVOX).Orvox_Vol('1', 50)", "Orvox_Vol: argument 1 (index) must be a number, got string"},
        {"plugin(ORVOX).Orvox_FadeIn(0, nil)", "Orvox_FadeIn: argument 2 (step) must be a number, got nil"},
        {"plugin(ORVOX).Orvox_Stop()", "Orvox_Stop takes 1 argument (index), got 0"},
        {"plugin(ORVOX).Orvox_StopAll(1)", "Orvox_StopAll takes 0 arguments, got 1"},
        {"plugin(WAVESTREAM).ws_loadSong(7, 2, 44100, 16)",
         "ws_loadSong: argument 1 (name) must be a string, got number"},
        {"plugin(WAVESTREAM).ws_playSong(100, 'yes')",
         "ws_playSong: argument 2 (loop) must be a number, got string"},
        {"plugin(WAVESTREAM).ws_loadSong('a.wav', 2, 44100)",
         "ws_loadSong takes 4 arguments (name, channels, samples per second, bits per sample), got 3"},
    };
    const std::string plugins =
        "local ORVOX, WAVESTREAM = '" ORVOX_PLUGIN_PATH "', '" WAVESTREAM_PLUGIN_PATH "'\n";
    for (const auto& [call, message] : cases) {
        const HostRun r = runScript(plugins + call);
        EXPECT_EQ(r.status, 1) << call << "\n" << r.err;
        EXPECT_NE(r.err.find(message), std::string::npos) << call << "\n" << r.err;
    }
    // Arguments of the right kinds go through, and an absent name (nil) is the plug-in's to answer.
    const HostRun right = runScript(plugins + R"(
        local o, w = plugin(ORVOX), plugin(WAVESTREAM)
        print(o.Orvox_Play("absent.ogg", 1), o.Orvox_Play(nil, 0), o.Orvox_Vol(5, 50), w.ws_loadSong(nil, 2, 44100, 16))
    )");
    ASSERT_EQ(right.status, 0) << right.err;
    EXPECT_EQ(right.out, "0\t0\t0\t-1024\n");
}

// Sets an environment variable for the programs a test starts, and restores it.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (old_.empty()) {
            unsetenv(name_);
        } else {
            setenv(name_, old_.c_str(), 1);
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    const char* name_;
    std::string old_;
};

// Left plus right of interleaved stereo frames [from, from + count), every `step`-th frame.
std::vector<double> monoFrames(const std::vector<int16_t>& stereo, size_t from, size_t count, size_t step) {
    std::vector<double> mono;
    for (size_t f = from; f < from + count; f += step) mono.push_back(double(stereo[2 * f]) + stereo[2 * f + 1]);
    return mono;
}

// The start frame in `signal` (in the range [from, to]) where `probe`, taken every `step`-th
// frame, correlates best, normalised by the energy of the signal under it.
size_t bestMatch(const std::vector<int16_t>& signal, const std::vector<double>& probe, size_t from, size_t to,
                 size_t step) {
    size_t best = from;
    double bestScore = -1e300;
    for (size_t start = from; start <= to; start += step) {
        const std::vector<double> under = monoFrames(signal, start, probe.size() * step, step);
        double dot = 0, energy = 1e-9;
        for (size_t i = 0; i < probe.size(); ++i) {
            dot += probe[i] * under[i];
            energy += under[i] * under[i];
        }
        if (const double score = dot / std::sqrt(energy); score > bestScore) {
            bestScore = score;
            best = start;
        }
    }
    return best;
}

// The real device output. SDL's disk driver stands in for the sound card: it runs the device
// in real time and writes what it was given, in the format the output asks for (16-bit
// native-endian samples, the output's rate and channels), to a file. An Ogg file played for
// 3 s that way must arrive as libvorbisfile decodes it. The device starts before the song,
// and a slow machine writes less, so the capture is aligned with the decode by
// cross-correlation and a stretch from the middle of what was heard is compared.
TEST_F(HostProgram, TheDeviceOutputCarriesTheDecodeInRealTime) {
    const fs::path song = a5test::sharedPath("media/ogg/ogg_stereo_44100_music_skull_stones.ogg");
    A5_SKIP_WITHOUT_SHARED(fs::exists(song), song);
    fs::copy_file(song, dir_ / "song.ogg");
    write("script.lua", R"(
        local orvox = plugin(arg[1])
        assert(orvox.Orvox_Play("song.ogg", 0) >= 0)
        wait(3)
        orvox.Orvox_Shutdown()
    )");
    const fs::path file = dir_ / "device.raw";
    HostRun r;
    {
        const ScopedEnv driver("SDL_AUDIODRIVER", "disk");
        const ScopedEnv target("SDL_DISKAUDIOFILE", file.string());
        r = run({"--output", "device", "--rate", "44100", "script.lua", ORVOX_PLUGIN_PATH});
    }
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "") << "the device opened: no fall-back to the null output";

    const std::string bytes = readFile(file);
    std::vector<int16_t> heard(bytes.size() / 2);
    std::memcpy(heard.data(), bytes.data(), heard.size() * 2);
    const size_t frames = heard.size() / 2;
    const std::vector<int16_t> decode = orvox::test::decodeOgg(song.string());
    ASSERT_GT(decode.size(), 2u * 10 * 44100);

    // About 3 s reach the device; a loaded machine may deliver less, never much more.
    EXPECT_GT(frames, 44100u);
    EXPECT_LT(frames, 4u * 44100);
    size_t onset = 0;
    while (onset < frames && std::abs(heard[2 * onset]) + std::abs(heard[2 * onset + 1]) < 64) ++onset;
    constexpr size_t kProbe = 4096, kStretch = 22050;
    ASSERT_GE(frames - onset, kStretch + kProbe) << "too little of the song reached the device";

    // The probe from the middle of what was heard, found in the decode: coarsely every
    // fourth frame, then to the frame.
    const size_t middle = onset + (frames - onset) / 2;
    const size_t probeAt = middle - kProbe / 2;
    const std::vector<double> coarse = monoFrames(heard, probeAt, kProbe, 4);
    const size_t near = bestMatch(decode, coarse, 0, probeAt, 4);
    const std::vector<double> fine = monoFrames(heard, probeAt, kProbe, 1);
    const size_t at = bestMatch(decode, fine, near > 8 ? near - 8 : 0, std::min(near + 8, probeAt), 1);
    const size_t lead = probeAt - at;  // frames the device ran before the song's first frame
    ASSERT_GE(at + kProbe / 2, kStretch / 2) << "the match lies too close to the song's start";

    const size_t from = middle - kStretch / 2;
    double signal = 0, error = 0;
    int maxError = 0;
    for (size_t i = 2 * from; i < 2 * (from + kStretch); ++i) {
        const int d = heard[i] - decode[i - 2 * lead];
        signal += double(heard[i]) * heard[i];
        error += double(d) * d;
        maxError = std::max(maxError, std::abs(d));
    }
    EXPECT_GT(std::sqrt(signal / (2 * kStretch)), 300.0) << "the compared stretch is music, not silence";
    EXPECT_LE(maxError, 1) << "at lead " << lead << " frames, rms error " << std::sqrt(error / (2 * kStretch));
}

}  // namespace
