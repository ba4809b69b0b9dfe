#include "options.h"

#include <charconv>
#include <cstring>
#include <string_view>

namespace a5host {
namespace {

constexpr unsigned kMinRate = 8000;
constexpr unsigned kMaxRate = 192000;

bool parseOutput(std::string_view value, Options& options, std::string& error) {
    if (value == "device") {
        options.output = Options::Output::Device;
    } else if (value == "null") {
        options.output = Options::Output::Null;
    } else if (value.starts_with("wav:") && value.size() > 4) {
        options.output = Options::Output::Wav;
        options.wavPath = value.substr(4);
    } else {
        error = "--output takes device, null or wav:FILE, not '" + std::string(value) + "'";
        return false;
    }
    return true;
}

bool parseRate(std::string_view value, Options& options, std::string& error) {
    unsigned rate = 0;
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), rate);
    if (ec != std::errc() || end != value.data() + value.size() || rate < kMinRate || rate > kMaxRate) {
        error = "--rate takes a whole number of hertz from 8000 to 192000, not '" + std::string(value) + "'";
        return false;
    }
    options.rate = rate;
    return true;
}

// NAME=FILE or NAME=FILE:TYPE; the type is what follows the last ':' of the file part.
bool parseResource(std::string_view value, Options& options, std::string& error) {
    const size_t eq = value.find('=');
    ResourceOption resource;
    if (eq != std::string_view::npos) {
        resource.name = value.substr(0, eq);
        resource.file = value.substr(eq + 1);
        if (const size_t colon = resource.file.rfind(':'); colon != std::string::npos) {
            resource.type = resource.file.substr(colon + 1);
            resource.file.resize(colon);
        }
    }
    if (resource.name.empty() || resource.file.empty() || resource.type.empty()) {
        error = "--resource takes NAME=FILE or NAME=FILE:TYPE, not '" + std::string(value) + "'";
        return false;
    }
    options.resources.push_back(std::move(resource));
    return true;
}

}  // namespace

bool parseOptions(int argc, const char* const* argv, Options& options, std::string& error) {
    bool outputGiven = false;
    int i = 1;
    for (; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg == "--") {
            ++i;
            break;
        }
        if (arg.empty() || arg[0] != '-' || arg == "-") break;  // the script
        if (arg == "-v" || arg == "--verbose") {
            options.verbose = true;
            continue;
        }
        if (arg == "-h" || arg == "--help") {
            options.help = true;
            continue;
        }

        // Options with a value: "--name VALUE" or "--name=VALUE".
        std::string_view name = arg;
        std::string_view value;
        bool hasValue = false;
        if (const size_t eq = arg.find('='); arg.starts_with("--") && eq != std::string_view::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
            hasValue = true;
        }
        if (name != "--output" && name != "--render" && name != "--rate" && name != "--resource" &&
            name != "--cd-image") {
            error = "unknown option '" + std::string(arg) + "'";
            return false;
        }
        if (!hasValue) {
            if (i + 1 >= argc) {
                error = std::string(name) + " needs a value";
                return false;
            }
            value = argv[++i];
        }

        bool ok = true;
        if (name == "--output") {
            ok = parseOutput(value, options, error);
            outputGiven = true;
        } else if (name == "--render") {
            ok = !value.empty();
            if (!ok) error = "--render needs a file name";
            options.render = true;
            options.wavPath = value;
        } else if (name == "--rate") {
            ok = parseRate(value, options, error);
        } else if (name == "--cd-image") {
            ok = !value.empty();
            if (!ok) error = "--cd-image needs a file name";
            options.cdImage = value;
        } else {
            ok = parseResource(value, options, error);
        }
        if (!ok) return false;
    }

    if (options.help) return true;
    if (options.render && outputGiven) {
        error = "--render writes its own output; leave out --output";
        return false;
    }
    if (options.render) options.output = Options::Output::Wav;
    if (i >= argc) {
        error = "no script given";
        return false;
    }
    options.script = argv[i++];
    options.scriptArgs.assign(argv + i, argv + argc);
    return true;
}

static_assert(kMaxResourceBytes == std::size_t{256} << 20, "the usage text states the resource limit");

const char* usageText() {
    return "usage: a5host [options] SCRIPT.lua [ARGS...]\n"
           "\n"
           "Runs a Lua script as the engine would run a game script: plug-ins are loaded\n"
           "with dlopen and called through their exports.\n"
           "\n"
           "  --output device|null|wav:FILE  where the sound goes (default: A5_AUDIO_OUTPUT,\n"
           "                                 else the audio device, else null)\n"
           "  --render FILE.wav              run on a virtual clock as fast as possible and\n"
           "                                 write 16-bit stereo to FILE.wav\n"
           "  --rate HZ                      output rate, 8000..192000 (default 44100)\n"
           "  --resource NAME=FILE[:TYPE]    make FILE a resource of the host (type WAVE);\n"
           "                                 a regular file of at most 256 MiB\n"
           "  --cd-image FILE                play this disc image (CUE sheet, NRG or TOC) as\n"
           "                                 the CD (default: A5_CD_IMAGE, else the drive)\n"
           "  -v, --verbose                  print every plug-in call with its result\n"
           "  -h, --help                     this text\n"
           "\n"
           "Script functions:\n"
           "  plugin(NAME)   load a plug-in (a path, or a file name in the host's lib/\n"
           "                 folder), call its A5_DLLAPI; returns a table of its exports:\n"
           "                 lib.Export(args...) with strings as engine strings and\n"
           "                 numbers as fixed (n * 1024); returns the raw 32-bit result\n"
           "  fixed(RAW)     a raw result read as a fixed number (RAW / 1024)\n"
           "  wait(SECONDS)  let time pass (virtual time when rendering)\n"
           "  now()          seconds on the platform's clock\n"
           "  services()     how often the engine's two service functions ran\n"
           "  messages()     the messages the engine's window received since the last\n"
           "                 call (the CD's completion notices): a list of\n"
           "                 {message=, wparam=, lparam=}\n"
           "  arg            the script's name (arg[0]) and its arguments\n"
           "\n"
           "Relative file names resolve against the current directory, which a5host\n"
           "never changes. Exit status: 0 done, 1 script or runtime error, 2 usage error.\n";
}

}  // namespace a5host
