// A compact disc read through libcdio: the machine's default CD drive, or a disc image
// (a CUE sheet with its BIN, an NRG or a cdrdao TOC image). The table of contents is
// read once at open and checked; samples come out as 16-bit stereo in host order,
// whatever byte order the image holds. Not thread-safe: one owner reads at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct _CdIo;

namespace plat {

class CueSheet;

// One sector of CD audio: 1/75 s, 588 stereo frames, 2352 bytes.
inline constexpr uint32_t kFramesPerSector = 588;
inline constexpr uint32_t kSectorsPerSecond = 75;
inline constexpr uint32_t kBytesPerSector = kFramesPerSector * 4;

class CdDisc {
public:
    // The disc of an image file, or with an empty path the disc in the default drive.
    // Null, with the reason, when there is no drive, the image is missing or unreadable,
    // or the table of contents makes no sense (no track, a track starting outside the
    // data, tracks out of order).
    static std::unique_ptr<CdDisc> open(const std::string& image, std::string& why);
    ~CdDisc();
    CdDisc(const CdDisc&) = delete;
    CdDisc& operator=(const CdDisc&) = delete;

    int firstTrack() const { return first_; }
    int lastTrack() const { return first_ + static_cast<int>(starts_.size()) - 1; }
    bool hasTrack(int track) const { return track >= first_ && track <= lastTrack(); }
    // Sector of the track's INDEX 01; the lead-out for lastTrack() + 1.
    int32_t trackStart(int track) const;
    // The lead-out: the sector after the last one.
    int32_t end() const { return end_; }
    bool isAudio(int track) const;
    // The track whose span [INDEX 01, next track's INDEX 01) holds the sector; a sector
    // before the first track counts to the first, one at or past the end to the last.
    int trackAt(int32_t sector) const;

    // Reads whole sectors as interleaved stereo samples in host order; sectors of data
    // tracks read as silence. False on a read error or a sector outside the disc.
    bool read(int32_t sector, uint32_t count, int16_t* out);

private:
    CdDisc() = default;

    _CdIo* cdio_ = nullptr;
    std::unique_ptr<CueSheet> cue_;  // kept while libcdio may read through its links
    bool bigEndian_ = false;
    int first_ = 1;
    std::vector<int32_t> starts_;  // INDEX 01 of each track
    std::vector<bool> audio_;
    int32_t end_ = 0;
};

}  // namespace plat
