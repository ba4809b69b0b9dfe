// A CUE sheet made ready for libcdio. libcdio reads one data file per sheet and finds
// it by the sheet's own name with "bin" for "cue", whatever the sheet's FILE line says,
// and takes every sample as little-endian. This reads the FILE line itself: the byte
// order (BINARY little-endian, MOTOROLA big-endian), and, when the named file is not
// the one libcdio would take, a private folder with two links ("disc.cue" to the sheet,
// "disc.bin" to the named file) for libcdio to open instead; the folder goes with the
// object.
#pragma once

#include <memory>
#include <string>

namespace plat {

class CueSheet {
public:
    // Null, with the reason, for a sheet that cannot be read, that names no file or more
    // than one, or a file that is missing or not raw sector data (WAVE, MP3, AIFF).
    static std::unique_ptr<CueSheet> prepare(const std::string& path, std::string& why);
    ~CueSheet();
    CueSheet(const CueSheet&) = delete;
    CueSheet& operator=(const CueSheet&) = delete;

    // The sheet libcdio is to open.
    const std::string& sheetForLibcdio() const { return sheet_; }
    bool bigEndian() const { return bigEndian_; }

private:
    CueSheet() = default;

    std::string sheet_;
    std::string linkFolder_;  // empty when the sheet is opened as it is
    bool bigEndian_ = false;
};

}  // namespace plat
