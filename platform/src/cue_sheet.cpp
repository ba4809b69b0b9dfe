#include "cue_sheet.h"

#include <plat/file_open.h>
#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <system_error>
#include <vector>

namespace plat {

namespace fs = std::filesystem;

namespace {

struct FileLine {
    std::string name;
    std::string type;
};

bool equalsIgnoringCase(const std::string& a, const char* b) { return strcasecmp(a.c_str(), b) == 0; }

// FILE "name" TYPE, or FILE name TYPE; keywords in any case.
bool parseFileLine(const std::string& line, FileLine& out) {
    std::istringstream in(line);
    std::string keyword;
    if (!(in >> keyword) || !equalsIgnoringCase(keyword, "FILE")) return false;
    in >> std::ws;
    if (in.peek() == '"') {
        in.get();
        std::getline(in, out.name, '"');
    } else {
        in >> out.name;
    }
    in >> out.type;
    return true;
}

// The file libcdio opens for a sheet: its name with the last three letters "cue" (or
// "CUE") replaced by "bin" ("BIN").
std::string libcdioDataFile(const std::string& sheet) {
    const fs::path path(sheet);
    const std::string ext = path.extension().string();
    if (ext == ".cue") return fs::path(sheet).replace_extension(".bin").string();
    if (ext == ".CUE") return fs::path(sheet).replace_extension(".BIN").string();
    return {};
}

bool sameFile(const std::string& a, const std::string& b) {
    std::error_code error;
    return !a.empty() && !b.empty() && fs::equivalent(a, b, error) && !error;
}

}  // namespace

std::unique_ptr<CueSheet> CueSheet::prepare(const std::string& path, std::string& why) {
    // A sheet is a few lines of text; anything much longer is not one.
    constexpr size_t kMaxSheetBytes = 1 << 20;
    const FileStream stream = openFileStream(path.c_str(), FileMode::Read);
    std::string text(kMaxSheetBytes + 1, '\0');
    text.resize(stream != nullptr ? std::fread(text.data(), 1, text.size(), stream.get()) : 0);
    if (stream == nullptr || std::ferror(stream.get()) || text.size() > kMaxSheetBytes) {
        why = "cannot read the CUE sheet";
        return nullptr;
    }
    std::istringstream in(text);
    std::vector<FileLine> files;
    for (std::string line; std::getline(in, line);) {
        FileLine file;
        if (parseFileLine(line, file)) files.push_back(file);
    }
    if (files.size() != 1 || files[0].name.empty()) {
        why = files.empty() ? "the CUE sheet names no data file" : "the CUE sheet names more than one data file";
        return nullptr;
    }
    const FileLine& file = files[0];
    if (!equalsIgnoringCase(file.type, "BINARY") && !equalsIgnoringCase(file.type, "MOTOROLA")) {
        why = "the data file is of type " + file.type + ", not raw sectors (BINARY or MOTOROLA)";
        return nullptr;
    }
    const fs::path dataFile = fs::path(path).parent_path() / file.name;
    std::error_code error;
    if (!fs::is_regular_file(dataFile, error)) {
        why = "the data file " + dataFile.string() + " is missing";
        return nullptr;
    }

    std::unique_ptr<CueSheet> sheet(new CueSheet);
    sheet->bigEndian_ = equalsIgnoringCase(file.type, "MOTOROLA");
    if (sameFile(libcdioDataFile(path), dataFile.string())) {
        sheet->sheet_ = path;
        return sheet;
    }

    std::string folder = (fs::temp_directory_path(error) / "a5cd.XXXXXX").string();
    if (error || mkdtemp(folder.data()) == nullptr) {
        why = "cannot make a folder for the image's links";
        return nullptr;
    }
    sheet->linkFolder_ = folder;  // removed by the destructor from here on
    const fs::path links(folder);
    fs::create_symlink(fs::absolute(path, error), links / "disc.cue", error);
    if (!error) fs::create_symlink(fs::absolute(dataFile, error), links / "disc.bin", error);
    if (error) {
        why = "cannot link the image's files: " + error.message();
        return nullptr;
    }
    sheet->sheet_ = (links / "disc.cue").string();
    return sheet;
}

CueSheet::~CueSheet() {
    if (linkFolder_.empty()) return;
    std::error_code ignored;
    fs::remove_all(linkFolder_, ignored);
}

}  // namespace plat
