// The CUE sheet reader of the CD image support: bytes as a sheet in a folder that also holds
// two data files, "disc.bin" (the one libcdio would take for "disc.cue") and "track.bin" (one
// it would not, so the reader links it in a folder of its own). Checks that a sheet is
// refused with a reason or accepted with a sheet for libcdio that can be read, and that the
// folder of links goes with the object.
#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "fuzz_target.h"
#include "cue_sheet.h"
#include "scratch_folder.h"

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kMaxInputBytes = 4096;
constexpr std::uint8_t kSector[2352] = {};

// The folder holds the sheet, the two data files and, while a sheet object lives, its links;
// $TMPDIR points into it so that those links land there too.
const std::string& prepareFolder() {
    static const std::string folder = [] {
        const fuzz::ScratchFolder& scratch = fuzz::ScratchFolder::instance();
        scratch.write("disc.bin", kSector, sizeof kSector);
        scratch.write("track.bin", kSector, sizeof kSector);
        const std::string tmp = scratch.path() + "/tmp";
        if (::mkdir(tmp.c_str(), 0700) != 0 || ::setenv("TMPDIR", tmp.c_str(), 1) != 0) std::abort();
        return scratch.path();
    }();
    return folder;
}

bool folderEmpty(const std::string& path) {
    std::error_code error;
    return fs::is_empty(path, error) && !error;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > kMaxInputBytes) return 0;
    const std::string& folder = prepareFolder();
    const std::string sheetPath = fuzz::ScratchFolder::instance().write("disc.cue", data, size);
    {
        std::string why;
        const auto sheet = plat::CueSheet::prepare(sheetPath, why);
        if (sheet == nullptr) {
            if (why.empty()) std::abort();
        } else {
            std::error_code error;
            if (!fs::is_regular_file(sheet->sheetForLibcdio(), error) || error) std::abort();
        }
    }
    if (!folderEmpty(folder + "/tmp")) std::abort();
    return 0;
}
