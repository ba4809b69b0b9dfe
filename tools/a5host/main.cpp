// a5host: the engine's stand-in. Loads plug-ins with dlopen, hands them the engine's
// records and runs a Lua script that calls their exports.
#include <plat/a5platform.h>
#include <plat/file_open.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "engine_host.h"
#include "options.h"
#include "plugin_library.h"
#include "script_host.h"

namespace {

constexpr int kExitScriptError = 1;
constexpr int kExitUsage = 2;

int fail(const std::string& message) {
    std::fprintf(stderr, "a5host: %s\n", message.c_str());
    return kExitScriptError;
}

A5PlatformConfig platformConfig(const a5host::Options& options) {
    A5PlatformConfig config{};
    // Indexed by Options::Output.
    constexpr int kOutputs[] = {A5_OUTPUT_DEFAULT, A5_OUTPUT_DEVICE, A5_OUTPUT_NULL, A5_OUTPUT_WAV};
    config.output = kOutputs[static_cast<int>(options.output)];
    config.wavPath = options.output == a5host::Options::Output::Wav ? options.wavPath.c_str() : nullptr;
    config.rate = options.rate;
    config.channels = 2;
    config.virtualClock = options.render ? 1 : 0;
    config.cdImage = options.cdImage.empty() ? nullptr : options.cdImage.c_str();
    return config;
}

// Reads the whole file named by a --resource option: a regular file of at most
// kMaxResourceBytes. False with a message otherwise.
bool readResourceFile(const std::string& path, std::vector<char>& bytes, std::string& error) {
    const plat::FileStream file = plat::openFileStream(path.c_str(), plat::FileMode::Read);
    struct stat info {};
    if (file == nullptr || ::fstat(::fileno(file.get()), &info) != 0) {
        error = "cannot read resource file '" + path + "': " + plat::openErrorText(errno);
        return false;
    }
    if (static_cast<uint64_t>(info.st_size) > a5host::kMaxResourceBytes) {
        error = "resource file '" + path + "' is larger than " +
                std::to_string(a5host::kMaxResourceBytes >> 20) + " MiB";
        return false;
    }
    // The file as it was when it was opened.
    bytes.resize(static_cast<size_t>(info.st_size));
    if (std::fread(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) {
        error = "cannot read resource file '" + path + "'";
        return false;
    }
    return true;
}

bool registerResource(const a5host::ResourceOption& resource, std::string& error) {
    std::vector<char> bytes;
    if (!readResourceFile(resource.file, bytes, error)) return false;
    if (a5p_register_resource(resource.name.c_str(), resource.type.c_str(), bytes.data(), bytes.size()) !=
        0) {
        error = "cannot register resource '" + resource.name + "'";
        return false;
    }
    return true;
}

int runHost(const a5host::Options& options) {
    const A5PlatformConfig config = platformConfig(options);
    if (a5p_configure(&config) != 0) return fail("the sound output cannot be set up");
    std::string error;
    for (const auto& resource : options.resources) {
        if (!registerResource(resource, error)) return fail(error);
    }

    auto engine = a5host::EngineHost::create(error);
    if (!engine) return fail(error);
    // The platform falls back to the null output when the file cannot be written; a
    // render that produces nothing must not look like a success.
    if (options.output == a5host::Options::Output::Wav && a5p_output_kind() != A5_OUTPUT_WAV) {
        return fail("cannot write '" + options.wavPath + "'");
    }

    // Teardown as the engine does it: the script ends, the platform's services stop (so
    // no timer or worker thread runs plug-in code any more), then the plug-ins unload,
    // and the engine's own objects go last.
    a5host::PluginSet plugins;
    bool ok = false;
    {
        a5host::ScriptSettings settings;
        settings.verbose = options.verbose;
        settings.showProgress = options.render;
        settings.libraryDir = a5host::hostLibraryDir();
        a5host::ScriptHost script(*engine, plugins, std::move(settings));
        ok = script.run(options.script, options.scriptArgs, error);
    }
    // The WAV output's last write (its final header) happens here: a file that did not
    // come out whole is a failure, whatever the script did.
    const int outputError = a5p_shutdown();
    plugins.clear();
    engine.reset();
    if (!ok) return fail(error);
    if (outputError != 0)
        return fail("cannot write '" + options.wavPath + "': " + std::strerror(outputError));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    a5host::Options options;
    std::string error;
    if (!a5host::parseOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "a5host: %s\n\n%s", error.c_str(), a5host::usageText());
        return kExitUsage;
    }
    if (options.help) {
        std::fputs(a5host::usageText(), stdout);
        return 0;
    }
    try {
        return runHost(options);
    } catch (const std::exception& e) {
        return fail(e.what());
    }
}
