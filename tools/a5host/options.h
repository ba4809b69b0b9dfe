// The command line of a5host.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace a5host {

// A --resource file is read whole into memory (and the platform keeps a copy): it must be
// a regular file of at most this size.
inline constexpr std::size_t kMaxResourceBytes = std::size_t{256} << 20;

struct ResourceOption {
    std::string name;
    std::string file;
    std::string type = "WAVE";
};

struct Options {
    enum class Output { Default, Device, Null, Wav };  // main.cpp maps these in this order

    Output output = Output::Default;
    std::string wavPath;  // Output::Wav
    bool render = false;  // virtual clock, as fast as it goes, into wavPath
    unsigned rate = 44100;
    bool verbose = false;
    bool help = false;
    std::vector<ResourceOption> resources;
    std::string cdImage;  // the disc the CD audio device plays; empty: A5_CD_IMAGE, else the drive
    std::string script;
    std::vector<std::string> scriptArgs;
};

// Parses argv[1..]. False with a message for a usage error.
bool parseOptions(int argc, const char* const* argv, Options& options, std::string& error);

const char* usageText();

}  // namespace a5host
