// mpadec as a user runs it: exit codes and messages for good and bad command lines.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
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

    // Runs mpadec with the arguments (each quoted for the shell) and standard input empty;
    // one that waits for a minute is ended (exit code 124).
    Result run(const std::vector<std::string>& args) const {
        std::string command = "timeout 60 '" MPADEC_PATH "'";
        for (const std::string& a : args) command += " '" + a + "'";
        const fs::path out = dir / "stdout.txt";
        const fs::path err = dir / "stderr.txt";
        command += " </dev/null >'" + out.string() + "' 2>'" + err.string() + "'";
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

// The MPEG codec takes every stream; one without a single frame decodes to nothing.
TEST_F(Mpadec, AStreamWithoutFramesDecodesToAnEmptyOutput) {
    const std::string input = write("in.mp3", "not audio");
    std::string eq;
    for (int i = 0; i < 64; ++i) eq += std::to_string(i - 64) + "\n";
    const std::string output = (dir / "out.pcm").string();
    const Result r =
        run({"--eq", write("eq.txt", eq), "--channels", "mix", "--downsample", "4", input, output});
    EXPECT_EQ(r.code, 0) << r.err;
    ASSERT_TRUE(fs::exists(output));
    EXPECT_EQ(fs::file_size(output), 0u);
}

}  // namespace
