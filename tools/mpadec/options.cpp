#include "options.h"

#include <plat/file_open.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <map>
#include <sstream>
#include <string_view>

namespace mpadec {

namespace {

bool parse_number(const std::string& text, double& value) {
    const char* end = text.data() + text.size();
    auto [p, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc{} && p == end && std::isfinite(value);
}

}  // namespace

const char* usage_text() {
    return "usage: mpadec [options] INPUT OUTPUT\n"
           "Decodes the MPEG audio stream INPUT (a regular file, or - for standard input, which\n"
           "may be a pipe) to OUTPUT: a file name with an optional format prefix (raw:, wav:,\n"
           "aiff:, sun:; raw without one), or - for standard output.\n"
           "\n"
           "options:\n"
           "  --channels both|left|right|mix  channels to keep (default both)\n"
           "  --downsample 1|2|4              divide the sample rate (default 1)\n"
           "  --eq FILE                       64 equalizer steps, -128..127, separated by spaces\n"
           "  --start SECONDS                 start decoding this far into the stream\n"
           "  --info                          print what the stream says about itself; OUTPUT may\n"
           "                                  then be left out\n"
           "  -q                              no progress line and no information\n"
           "  --help                          this text\n"
           "\n"
           "exit codes:\n"
           "  0 success\n"
           "  1 bad command line or equalizer file\n"
           "  2 the input could not be opened\n"
           "  3 no codec takes the stream\n"
           "  4 the output could not be opened\n"
           "  5 decoding or writing failed\n"
           "  6 internal error (out of memory)\n"
           "  7 the input holds no MPEG audio frame that can be decoded (not MPEG audio, empty,\n"
           "    or a free-format stream); no output file is left behind\n";
}

std::string output_file(const std::string& output) {
    std::string_view path = output;
    for (std::string_view prefix : {"raw:", "wav:", "aiff:", "sun:"}) {
        if (path.starts_with(prefix)) {
            path.remove_prefix(prefix.size());
            break;
        }
    }
    return path == "-" ? std::string() : std::string(path);
}

std::optional<std::array<int8_t, 64>> read_equalizer(const std::string& path, std::string& error) {
    // 64 numbers take a few hundred bytes; anything much longer is not an equalizer file.
    constexpr size_t kMaxEqualizerBytes = 1 << 16;
    const plat::FileStream file = plat::openFileStream(path.c_str(), plat::FileMode::Read);
    if (file == nullptr) {
        error = "cannot read equalizer file " + path + ": " + plat::openErrorText(errno);
        return std::nullopt;
    }
    std::string text(kMaxEqualizerBytes + 1, '\0');
    text.resize(std::fread(text.data(), 1, text.size(), file.get()));
    if (text.size() > kMaxEqualizerBytes) {
        error = "equalizer file " + path + " is too long";
        return std::nullopt;
    }
    std::istringstream in(text);
    std::array<int8_t, 64> steps{};
    std::string word;
    size_t count = 0;
    while (in >> word) {
        double v = 0;
        if (!parse_number(word, v) || v != std::trunc(v) || v < -128 || v > 127) {
            error = "equalizer step '" + word + "' is not a whole number from -128 to 127";
            return std::nullopt;
        }
        if (count == steps.size()) {
            error = "equalizer file has more than 64 steps";
            return std::nullopt;
        }
        steps[count++] = static_cast<int8_t>(v);
    }
    if (count != steps.size()) {
        error = "equalizer file has " + std::to_string(count) + " steps, needs 64";
        return std::nullopt;
    }
    return steps;
}

std::optional<Options> parse_options(const std::vector<std::string>& args, std::string& error) {
    static const std::map<std::string, int32_t> channel_modes{
        {"both", 0}, {"left", 1}, {"right", 2}, {"mix", 3}};
    static const std::map<std::string, int32_t> downsampling{{"1", 0}, {"2", 1}, {"4", 2}};
    Options o;
    std::vector<std::string> names;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= args.size()) {
                error = "option " + a + " needs a value";
                return std::nullopt;
            }
            return args[++i];
        };
        if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a == "--info") {
            o.info = true;
        } else if (a == "-q") {
            o.quiet = true;
        } else if (a == "--channels" || a == "--downsample") {
            const auto v = value();
            if (!v) return std::nullopt;
            const auto& table = a == "--channels" ? channel_modes : downsampling;
            const auto it = table.find(*v);
            if (it == table.end()) {
                error = "bad value '" + *v + "' for " + a;
                return std::nullopt;
            }
            (a == "--channels" ? o.channel_mode : o.downsampling) = it->second;
        } else if (a == "--eq") {
            const auto v = value();
            if (!v) return std::nullopt;
            o.equalizer = read_equalizer(*v, error);
            if (!o.equalizer) return std::nullopt;
        } else if (a == "--start") {
            const auto v = value();
            if (!v) return std::nullopt;
            if (!parse_number(*v, o.start_seconds) || o.start_seconds < 0) {
                error = "bad value '" + *v + "' for --start";
                return std::nullopt;
            }
        } else if (a.size() > 1 && a[0] == '-') {
            error = "unknown option " + a;
            return std::nullopt;
        } else {
            names.push_back(a);
        }
    }
    if (o.help) return o;
    if (names.size() > 2 || names.empty() || (names.size() == 1 && !o.info)) {
        error = names.size() > 2 ? "too many file names" : "INPUT and OUTPUT are needed";
        return std::nullopt;
    }
    o.input = names[0];
    if (names.size() == 2) o.output = names[1];
    return o;
}

}  // namespace mpadec
