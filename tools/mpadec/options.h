// The command line of mpadec.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace mpadec {

// Exit codes, as --help lists them.
enum ExitCode : int {
    kExitOk = 0,
    kExitUsage = 1,
    kExitInput = 2,
    kExitNoCodec = 3,
    kExitOutput = 4,
    kExitDecode = 5,
    kExitInternal = 6,
    kExitNoFrame = 7,
};

struct Options {
    std::string input;
    std::string output;  // empty only with --info
    int32_t channel_mode = 0;
    int32_t downsampling = 0;
    std::optional<std::array<int8_t, 64>> equalizer;
    double start_seconds = 0.0;
    bool info = false;
    bool quiet = false;
    bool help = false;
};

// Parses argv; on failure returns nothing and puts the reason into `error`.
std::optional<Options> parse_options(const std::vector<std::string>& args, std::string& error);

// Reads 64 equalizer steps (-128..127, separated by white space) from a file.
std::optional<std::array<int8_t, 64>> read_equalizer(const std::string& path, std::string& error);

// The file an OUTPUT argument names, without its format prefix; empty for standard output.
std::string output_file(const std::string& output);

const char* usage_text();

}  // namespace mpadec
