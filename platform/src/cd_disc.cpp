#include "cd_disc.h"

#include <cdio/cdio.h>
#include <cdio/logging.h>

#include <algorithm>
#include <bit>
#include <filesystem>
#include <mutex>

#include "cue_sheet.h"

namespace plat {

namespace {

// libcdio reports to standard error by default; the device reports its own failures.
void quietLibcdio() {
    static std::once_flag once;
    std::call_once(once, [] { cdio_log_set_handler([](cdio_log_level_t, const char*) {}); });
}

std::string lowerExtension(const std::string& path) {
    std::string ext = std::filesystem::path(path).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}

bool isImageDriver(driver_id_t id) { return id == DRIVER_BINCUE || id == DRIVER_NRG || id == DRIVER_CDRDAO; }

}  // namespace

std::unique_ptr<CdDisc> CdDisc::open(const std::string& image, std::string& why) {
    quietLibcdio();
    std::unique_ptr<CdDisc> disc(new CdDisc);
    if (image.empty()) {
        disc->cdio_ = cdio_open(nullptr, DRIVER_DEVICE);
        if (disc->cdio_ == nullptr) {
            why = "no CD drive";
            return nullptr;
        }
    } else {
        std::error_code error;
        if (!std::filesystem::is_regular_file(image, error)) {
            why = "no image file " + image;
            return nullptr;
        }
        const std::string ext = lowerExtension(image);
        if (ext == ".cue") {
            disc->cue_ = CueSheet::prepare(image, why);
            if (!disc->cue_) return nullptr;
            disc->bigEndian_ = disc->cue_->bigEndian();
            disc->cdio_ = cdio_open_cue(disc->cue_->sheetForLibcdio().c_str());
        } else if (ext == ".toc") {
            disc->cdio_ = cdio_open_cdrdao(image.c_str());
        } else if (ext == ".nrg") {
            disc->cdio_ = cdio_open_nrg(image.c_str());
        } else {
            disc->cdio_ = cdio_open(image.c_str(), DRIVER_UNKNOWN);
            if (disc->cdio_ != nullptr && !isImageDriver(cdio_get_driver_id(disc->cdio_))) {
                cdio_destroy(disc->cdio_);
                disc->cdio_ = nullptr;
            }
        }
        if (disc->cdio_ == nullptr) {
            why = "libcdio cannot read the image " + image;
            return nullptr;
        }
    }

    const track_t first = cdio_get_first_track_num(disc->cdio_);
    const track_t count = cdio_get_num_tracks(disc->cdio_);
    const lsn_t end = cdio_get_track_lsn(disc->cdio_, CDIO_CDROM_LEADOUT_TRACK);
    if (first == CDIO_INVALID_TRACK || count == CDIO_INVALID_TRACK || count == 0 || first == 0 ||
        first + count - 1 > 99 || end == CDIO_INVALID_LSN || end <= 0) {
        why = "no readable disc";
        return nullptr;
    }
    disc->first_ = first;
    disc->end_ = end;
    for (int t = first; t < first + count; ++t) {
        const lsn_t start = cdio_get_track_lsn(disc->cdio_, static_cast<track_t>(t));
        const int32_t previous = disc->starts_.empty() ? -1 : disc->starts_.back();
        if (start == CDIO_INVALID_LSN || start < 0 || start >= end || start <= previous) {
            why = "track " + std::to_string(t) + " starts outside the disc's data or out of order";
            return nullptr;
        }
        disc->starts_.push_back(start);
        disc->audio_.push_back(cdio_get_track_format(disc->cdio_, static_cast<track_t>(t)) == TRACK_FORMAT_AUDIO);
    }
    // The last audio sector must be there to read: an image cut short fails here, not
    // mid-play. (A disc of data tracks only opens; it has nothing to play.)
    for (int t = disc->lastTrack(); t >= disc->firstTrack(); --t) {
        if (!disc->isAudio(t)) continue;
        const int32_t last = (t == disc->lastTrack() ? end : disc->trackStart(t + 1)) - 1;
        std::vector<uint8_t> probe(kBytesPerSector);
        if (cdio_read_audio_sectors(disc->cdio_, probe.data(), last, 1) != DRIVER_OP_SUCCESS) {
            why = "sector " + std::to_string(last) + " of track " + std::to_string(t) + " cannot be read";
            return nullptr;
        }
        break;
    }
    return disc;
}

CdDisc::~CdDisc() {
    if (cdio_ != nullptr) cdio_destroy(cdio_);
}

int32_t CdDisc::trackStart(int track) const {
    if (track == lastTrack() + 1) return end_;
    return starts_.at(static_cast<size_t>(track - first_));
}

bool CdDisc::isAudio(int track) const { return hasTrack(track) && audio_[static_cast<size_t>(track - first_)]; }

int CdDisc::trackAt(int32_t sector) const {
    const auto after = std::upper_bound(starts_.begin(), starts_.end(), sector);
    const auto index = after == starts_.begin() ? 0 : after - starts_.begin() - 1;
    return first_ + static_cast<int>(index);
}

bool CdDisc::read(int32_t sector, uint32_t count, int16_t* out) {
    if (sector < 0 || count == 0 || int64_t{sector} + count > end_) return false;
    auto* bytes = reinterpret_cast<uint8_t*>(out);
    // Data sectors are not audio: they play as silence, as a CD player mutes them.
    uint32_t done = 0;
    while (done < count) {
        const int32_t at = sector + static_cast<int32_t>(done);
        const int track = trackAt(at);
        const int32_t trackEnd = track == lastTrack() ? end_ : trackStart(track + 1);
        const uint32_t run = std::min(count - done, static_cast<uint32_t>(trackEnd - at));
        uint8_t* to = bytes + size_t{done} * kBytesPerSector;
        if (!isAudio(track)) {
            std::fill_n(to, size_t{run} * kBytesPerSector, uint8_t{0});
        } else if (cdio_read_audio_sectors(cdio_, to, at, run) != DRIVER_OP_SUCCESS) {
            return false;
        }
        done += run;
    }
    // The samples arrive as the disc holds them; the host is little-endian.
    static_assert(std::endian::native == std::endian::little);
    if (bigEndian_) {
        const size_t samples = size_t{count} * kFramesPerSector * 2;
        for (size_t i = 0; i < samples; ++i) out[i] = static_cast<int16_t>(__builtin_bswap16(static_cast<uint16_t>(out[i])));
    }
    return true;
}

}  // namespace plat
