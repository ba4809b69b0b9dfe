// mpadec as a user runs it: exit codes and messages for good and bad command lines.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

class Mpadec : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "mpadec-test-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
    }
    void TearDown() override { fs::remove_all(dir); }

    struct Result {
        int code;
        std::string out;
        std::string err;
    };

    // Runs mpadec with the arguments (each quoted for the shell), standard input from a file;
    // one that waits for a minute is ended (exit code 124).
    Result run(const std::vector<std::string>& args, const std::string& input = "/dev/null") const {
        std::string command = "timeout 60 '" MPADEC_PATH "'";
        for (const std::string& a : args) command += " '" + a + "'";
        const fs::path out = dir / "stdout.txt";
        const fs::path err = dir / "stderr.txt";
        command += " <'" + input + "' >'" + out.string() + "' 2>'" + err.string() + "'";
        const int status = std::system(command.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp(out), slurp(err)};
    }

    static std::string slurp(const fs::path& p) {
        std::ifstream in(p);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    std::string write(const std::string& name, const std::string& content) const {
        const fs::path p = dir / name;
        std::ofstream(p) << content;
        return p.string();
    }

    fs::path dir;
};

TEST_F(Mpadec, HelpListsTheOptionsAndExitCodes) {
    const Result r = run({"--help"});
    EXPECT_EQ(r.code, 0);
    for (const char* word : {"--channels", "--downsample", "--eq", "--start", "--info", "-q", "exit codes"}) {
        EXPECT_NE(r.out.find(word), std::string::npos) << word;
    }
    EXPECT_TRUE(r.err.empty());
}

TEST_F(Mpadec, BadCommandLinesExitWithOneAndSayWhy) {
    const std::string input = write("in.mp3", "not audio");
    std::string zeros;
    for (int i = 0; i < 63; ++i) zeros += "0 ";
    const std::string eq63 = write("eq63.txt", zeros);
    std::string eq_text;
    for (int i = 0; i < 64; ++i) eq_text += i == 10 ? "200 " : "0 ";
    const std::string eq_range = write("eq_range.txt", eq_text);
    struct Case {
        std::vector<std::string> args;
        const char* message;
    };
    const Case cases[] = {
        {{}, "INPUT and OUTPUT are needed"},
        {{input}, "INPUT and OUTPUT are needed"},
        {{input, "a", "b"}, "too many file names"},
        {{"--channels", "center", input, "out"}, "bad value 'center' for --channels"},
        {{"--downsample", "3", input, "out"}, "bad value '3' for --downsample"},
        {{"--start", "-1", input, "out"}, "bad value '-1' for --start"},
        {{"--start", "soon", input, "out"}, "bad value 'soon' for --start"},
        {{"--frobnicate", input, "out"}, "unknown option --frobnicate"},
        {{input, "out", "--eq"}, "option --eq needs a value"},
        {{"--eq", (dir / "none.txt").string(), input, "out"}, "cannot read equalizer file"},
        {{"--eq", eq63, input, "out"}, "has 63 steps, needs 64"},
        {{"--eq", eq_range, input, "out"}, "'200' is not a whole number from -128 to 127"},
    };
    for (const Case& c : cases) {
        const Result r = run(c.args);
        EXPECT_EQ(r.code, 1) << c.message;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("mpadec --help"), std::string::npos);
    }
}

TEST_F(Mpadec, AMissingInputExitsWithTwo) {
    const std::string missing = (dir / "missing.mp3").string();
    const Result r = run({missing, "wav:" + (dir / "out.wav").string()});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, "mpadec: " + missing + ": cannot open input file: file not found\n");
    EXPECT_FALSE(fs::exists(dir / "out.wav")) << "no output is made for an input that fails";
}

// Named files that are not regular files never hold mpadec: a FIFO waits for a peer, a device
// may never end. Pipes come in through standard input ("-").
TEST_F(Mpadec, SpecialFilesAreRefusedAtOnce) {
    const std::string fifo = (dir / "fifo").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string input = write("in.mp3", "not audio");
    const std::string out = (dir / "out.pcm").string();
    struct Case {
        std::vector<std::string> args;
        int code;
        std::string message;
    };
    const Case cases[] = {
        {{fifo, out}, 2, "mpadec: " + fifo + ": cannot open input file: not a regular file\n"},
        {{"/dev/zero", out}, 2, "mpadec: /dev/zero: cannot open input file: not a regular file\n"},
        {{dir.string(), out}, 2, "mpadec: " + dir.string() + ": cannot open input file: not a regular file\n"},
        {{"--eq", fifo, input, out}, 1, "cannot read equalizer file " + fifo + ": not a regular file"},
        {{input, "wav:" + fifo}, 4, "cannot open output file: No such device or address"},
    };
    for (const Case& c : cases) {
        const Result r = run(c.args);
        EXPECT_EQ(r.code, c.code) << c.message;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
}

// Inputs that give no frame: each ends with exit code 7 and one line saying why, leaves no
// output file behind (not even with options that change the output) and reads the same from
// standard input.
struct NoFrameCase {
    const char* name;
    std::string bytes;
    const char* reason;
};

std::string free_format_stream() {
    // MPEG-1 Layer III, 44.1 kHz, stereo, bitrate index 0, frames of 417 bytes.
    std::string frame("\xFF\xFB\x00\x00", 4);
    frame.resize(417, '\0');
    std::string stream;
    for (int i = 0; i < 20; ++i) stream += frame;
    return stream;
}

std::string random_bytes(size_t n, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(n, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    return bytes;
}

// Ogg pages as a Vorbis file has them: the identification header, then pages of packet data.
std::string ogg_pages() {
    std::string stream;
    for (unsigned page = 0; page < 16; ++page) {
        std::string header("OggS\0", 5);
        header += page == 0 ? '\x02' : '\0';
        header += random_bytes(20, page);  // granule, serial, sequence, checksum
        header += '\x10';                  // 16 segments of 255 bytes
        header += std::string(16, '\xFF');
        const std::string body = page == 0 ? "\x01vorbis" + random_bytes(255 * 16 - 7, 99) : random_bytes(255 * 16, page);
        stream += header + body;
    }
    return stream;
}

class MpadecNoFrame : public Mpadec, public ::testing::WithParamInterface<NoFrameCase> {};

TEST_P(MpadecNoFrame, ExitsWithSevenSaysWhyAndLeavesNoOutput) {
    const NoFrameCase& c = GetParam();
    const std::string input = write("in.mp3", c.bytes);
    std::string eq;
    for (int i = 0; i < 64; ++i) eq += std::to_string(i - 64) + "\n";
    const std::vector<std::vector<std::string>> commands = {
        {input, "wav:" + (dir / "out.wav").string()},
        {"--eq", write("eq.txt", eq), "--channels", "mix", "--downsample", "4", input, (dir / "out.pcm").string()},
        {"-", (dir / "out.pcm").string()},
    };
    for (const auto& args : commands) {
        const Result r = args[0] == "-" ? run(args, input) : run(args);
        const std::string subject = args[0] == "-" ? "-" : input;
        EXPECT_EQ(r.code, 7) << r.err;
        EXPECT_EQ(r.err, "mpadec: " + subject + ": " + c.reason + "\n");
        EXPECT_FALSE(fs::exists(dir / "out.wav"));
        EXPECT_FALSE(fs::exists(dir / "out.pcm"));
    }
}

INSTANTIATE_TEST_SUITE_P(Inputs, MpadecNoFrame,
                         ::testing::Values(NoFrameCase{"OggNamedMp3", ogg_pages(), "no MPEG audio frame found"},
                                           NoFrameCase{"RandomBytes", random_bytes(64 * 1024, 15), "no MPEG audio frame found"},
                                           NoFrameCase{"EmptyFile", "", "no MPEG audio frame found"},
                                           NoFrameCase{"FreeFormat", free_format_stream(),
                                                       "free-format streams are not supported"}),
                         [](const ::testing::TestParamInfo<NoFrameCase>& p) { return std::string(p.param.name); });

}  // namespace
