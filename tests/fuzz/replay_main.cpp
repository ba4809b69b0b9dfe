// Replays a fuzz target's corpus without libFuzzer: every regular file named on the command
// line, or found in a folder named there, goes once through LLVMFuzzerTestOneInput. Built
// with any compiler into the normal suite, so that the seeds run under every sanitizer build.
// Fails when a file cannot be read or when no input was found at all; a fault in the target
// aborts the process as it would under the fuzzer.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "fuzz_target.h"

namespace {

namespace fs = std::filesystem;

bool replay(const fs::path& file) {
    std::error_code error;
    const auto size = static_cast<std::size_t>(fs::file_size(file, error));
    // Exactly the input's size, so that ASan sees any read past its end.
    std::vector<std::uint8_t> bytes(error ? 0 : size);
    std::FILE* in = error ? nullptr : std::fopen(file.c_str(), "rb");
    const bool read = in != nullptr && std::fread(bytes.data(), 1, bytes.size(), in) == bytes.size();
    if (in != nullptr) std::fclose(in);
    if (!read) {
        std::fprintf(stderr, "cannot read %s\n", file.c_str());
        return false;
    }
    static const std::uint8_t kNothing = 0;  // libFuzzer never passes a null pointer either
    LLVMFuzzerTestOneInput(bytes.empty() ? &kNothing : bytes.data(), bytes.size());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<fs::path> files;
    for (int i = 1; i < argc; ++i) {
        std::error_code error;
        if (fs::is_directory(argv[i], error)) {
            for (const auto& entry : fs::directory_iterator(argv[i], error)) {
                if (entry.is_regular_file()) files.push_back(entry.path());
            }
        } else if (fs::is_regular_file(argv[i], error)) {
            files.emplace_back(argv[i]);
        }
        if (error) {
            std::fprintf(stderr, "cannot list %s: %s\n", argv[i], error.message().c_str());
            return 1;
        }
    }
    std::sort(files.begin(), files.end());
    if (files.empty()) {
        std::fprintf(stderr, "no inputs to replay\n");
        return 1;
    }
    for (const auto& file : files) {
        if (!replay(file)) return 1;
    }
    std::printf("replayed %zu inputs\n", files.size());
    return 0;
}
