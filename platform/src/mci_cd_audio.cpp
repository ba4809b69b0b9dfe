#include "mci_cd_audio.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "cd_disc.h"
#include "cd_playback.h"
#include <plat/winbase.h>
#include "runtime.h"

namespace plat {

namespace {

constexpr uint32_t kLeadInSectors = 150;  // MSF 00:02:00 is sector 0

// "X:" or "X:\" for any drive letter: every letter names the one drive.
bool isDriveElement(const char* element) {
    if (element == nullptr || !std::isalpha(static_cast<unsigned char>(element[0])) || element[1] != ':') return false;
    return element[2] == '\0' || (element[2] == '\\' && element[3] == '\0');
}

bool isCdAudioType(DWORD flags, LPCSTR type) {
    if ((flags & MCI_OPEN_TYPE_ID) != 0) return (reinterpret_cast<uintptr_t>(type) & 0xFFFF) == MCI_DEVTYPE_CD_AUDIO;
    return type != nullptr && strcasecmp(type, "cdaudio") == 0;
}

HWND callbackWindow(const void* parameters) {
    return reinterpret_cast<HWND>(static_cast<const MCI_GENERIC_PARMS*>(parameters)->dwCallback);
}

// A command that completes before it returns tells its window so at once.
void notifyDone(DWORD flags, const void* parameters, MCIDEVICEID device) {
    if ((flags & MCI_NOTIFY) != 0 && parameters != nullptr)
        PostMessageA(callbackWindow(parameters), MM_MCINOTIFY, MCI_NOTIFY_SUCCESSFUL, device);
}

}  // namespace

MciCdAudio& MciCdAudio::instance() {
    // Never destroyed: a device left open at exit keeps its disc; nothing runs it then.
    static MciCdAudio* devices = new MciCdAudio;
    return *devices;
}

void MciCdAudio::setImage(const char* path) {
    std::lock_guard lock(mutex_);
    imageSet_ = path != nullptr;
    image_ = path != nullptr ? path : "";
}

std::string MciCdAudio::chosenImage() const {
    if (imageSet_) return image_;
    // (The device's lock is held: the runtime's start lock comes after it, never before.)
    if (const std::string& configured = Runtime::get().cdImage(); !configured.empty()) return configured;
    const char* env = std::getenv("A5_CD_IMAGE");
    return env != nullptr ? env : "";
}

MciCdAudio::Device* MciCdAudio::find(MCIDEVICEID id) {
    for (Device& d : devices_)
        if (d.id == id && id != 0) return &d;
    return nullptr;
}

MCIERROR MciCdAudio::command(MCIDEVICEID id, UINT command, DWORD flags, DWORD_PTR parameters) {
    std::lock_guard lock(mutex_);
    void* p = reinterpret_cast<void*>(parameters);
    if ((flags & MCI_NOTIFY) != 0 && p == nullptr) return MCIERR_NULL_PARAMETER_BLOCK;
    if (command == MCI_OPEN) return open(flags, static_cast<MCI_OPEN_PARMSA*>(p));
    Device* device = find(id);
    if (device == nullptr) return MCIERR_INVALID_DEVICE_ID;
    const MCIDEVICEID deviceId = device->id;
    MCIERROR result = 0;
    switch (command) {
        case MCI_CLOSE:
            result = close(*device);
            break;
        case MCI_SET:
            result = set(*device, flags, static_cast<const MCI_SET_PARMS*>(p));
            break;
        case MCI_PLAY:
            // A play tells its window when its range ends, not now.
            return play(*device, flags, static_cast<const MCI_PLAY_PARMS*>(p));
        case MCI_SEEK:
            result = seek(flags, static_cast<const MCI_SEEK_PARMS*>(p), *device);
            break;
        case MCI_STOP:
        case MCI_PAUSE:
            // A CD drive pauses by stopping where it is.
            playback_->halt();
            break;
        case MCI_STATUS:
            result = status(*device, flags, static_cast<MCI_STATUS_PARMS*>(p));
            break;
        default:
            return MCIERR_UNRECOGNIZED_COMMAND;
    }
    if (result == 0) notifyDone(flags, p, deviceId);
    return result;
}

MCIERROR MciCdAudio::open(DWORD flags, MCI_OPEN_PARMSA* parameters) {
    if (parameters == nullptr) return MCIERR_NULL_PARAMETER_BLOCK;
    parameters->wDeviceID = 0;
    if ((flags & MCI_OPEN_TYPE) == 0 || !isCdAudioType(flags, parameters->lpstrDeviceType))
        return MCIERR_INVALID_DEVICE_NAME;
    if ((flags & MCI_OPEN_ELEMENT) != 0 && !isDriveElement(parameters->lpstrElementName))
        return MCIERR_INVALID_DEVICE_NAME;
    std::string alias;
    if ((flags & MCI_OPEN_ALIAS) != 0) {
        if (parameters->lpstrAlias == nullptr || parameters->lpstrAlias[0] == '\0') return MCIERR_MISSING_PARAMETER;
        alias = parameters->lpstrAlias;
        for (const Device& d : devices_)
            if (strcasecmp(d.alias.c_str(), alias.c_str()) == 0) return MCIERR_DUPLICATE_ALIAS;
    }
    if (devices_.empty()) {
        std::string why;
        const std::string image = chosenImage();
        auto disc = CdDisc::open(image, why);
        if (!disc) {
            if (!image.empty()) std::fprintf(stderr, "a5platform: CD image %s: %s\n", image.c_str(), why.c_str());
            return MCIERR_INVALID_DEVICE_NAME;
        }
        auto playback = CdPlayback::create(*disc);
        if (!playback) return MCIERR_HARDWARE;
        disc_ = std::move(disc);
        playback_ = std::move(playback);
    }
    while (nextId_ == 0 || find(nextId_) != nullptr) ++nextId_;
    devices_.push_back(Device{nextId_, alias});
    parameters->wDeviceID = nextId_++;
    notifyDone(flags, parameters, parameters->wDeviceID);
    return 0;
}

MCIERROR MciCdAudio::close(Device& device) {
    playback_->abortNotice(device.id);
    std::erase_if(devices_, [&](const Device& d) { return d.id == device.id; });
    if (devices_.empty()) {
        playback_.reset();  // before the disc it reads
        disc_.reset();
    }
    return 0;
}

MCIERROR MciCdAudio::set(Device& device, DWORD flags, const MCI_SET_PARMS* parameters) {
    if ((flags & MCI_SET_TIME_FORMAT) == 0) return MCIERR_MISSING_PARAMETER;
    if (parameters == nullptr) return MCIERR_NULL_PARAMETER_BLOCK;
    const DWORD format = parameters->dwTimeFormat;
    if (format != MCI_FORMAT_TMSF && format != MCI_FORMAT_MSF && format != MCI_FORMAT_MILLISECONDS)
        return MCIERR_BAD_TIME_FORMAT;
    device.timeFormat = format;
    return 0;
}

MCIERROR MciCdAudio::toFrame(const Device& device, DWORD position, int64_t& frame) const {
    int64_t sector = 0;
    switch (device.timeFormat) {
        case MCI_FORMAT_TMSF: {
            const int track = MCI_TMSF_TRACK(position);
            const int s = MCI_TMSF_SECOND(position);
            const int f = MCI_TMSF_FRAME(position);
            if (!disc_->hasTrack(track) || s >= 60 || f >= int(kSectorsPerSecond)) return MCIERR_OUTOFRANGE;
            sector = disc_->trackStart(track) + (int64_t{MCI_TMSF_MINUTE(position)} * 60 + s) * kSectorsPerSecond + f;
            break;
        }
        case MCI_FORMAT_MSF: {
            const int s = MCI_MSF_SECOND(position);
            const int f = MCI_MSF_FRAME(position);
            if (s >= 60 || f >= int(kSectorsPerSecond)) return MCIERR_OUTOFRANGE;
            sector = (int64_t{MCI_MSF_MINUTE(position)} * 60 + s) * kSectorsPerSecond + f - kLeadInSectors;
            break;
        }
        default:
            sector = int64_t{position} * kSectorsPerSecond / 1000;
            break;
    }
    if (sector < disc_->trackStart(disc_->firstTrack()) || sector > disc_->end()) return MCIERR_OUTOFRANGE;
    frame = sector * kFramesPerSector;
    return 0;
}

DWORD MciCdAudio::fromSector(const Device& device, int32_t sector, bool length) const {
    if (device.timeFormat == MCI_FORMAT_MILLISECONDS) return static_cast<DWORD>(int64_t{sector} * 1000 / kSectorsPerSecond);
    // Lengths have no track: in TMSF they are given as MSF.
    const bool tmsf = device.timeFormat == MCI_FORMAT_TMSF && !length;
    const int track = tmsf ? disc_->trackAt(sector) : 0;
    const int32_t from = tmsf ? sector - disc_->trackStart(track) : length ? sector : sector + int32_t(kLeadInSectors);
    const auto minutes = static_cast<BYTE>(std::min(from / int32_t(60 * kSectorsPerSecond), int32_t{255}));
    const auto seconds = static_cast<BYTE>(from / int32_t(kSectorsPerSecond) % 60);
    const auto frames = static_cast<BYTE>(from % int32_t(kSectorsPerSecond));
    return tmsf ? MCI_MAKE_TMSF(static_cast<BYTE>(track), minutes, seconds, frames)
                : MCI_MAKE_MSF(minutes, seconds, frames);
}

MCIERROR MciCdAudio::play(const Device& device, DWORD flags, const MCI_PLAY_PARMS* parameters) {
    if ((flags & MCI_WAIT) != 0) return MCIERR_UNSUPPORTED_FUNCTION;
    if ((flags & (MCI_FROM | MCI_TO)) != 0 && parameters == nullptr) return MCIERR_NULL_PARAMETER_BLOCK;
    int64_t from = playback_->position();
    int64_t to = int64_t{disc_->end()} * kFramesPerSector;
    if ((flags & MCI_FROM) != 0) {
        if (const MCIERROR e = toFrame(device, parameters->dwFrom, from)) return e;
    }
    if ((flags & MCI_TO) != 0) {
        if (const MCIERROR e = toFrame(device, parameters->dwTo, to)) return e;
    }
    if (to < from) return MCIERR_OUTOFRANGE;
    const auto firstSector = static_cast<int32_t>(from / kFramesPerSector);
    if (from < to && !disc_->isAudio(disc_->trackAt(firstSector))) return MCIERR_HARDWARE;
    CdPlayback::Notice notice;
    if ((flags & MCI_NOTIFY) != 0) notice = CdPlayback::Notice{callbackWindow(parameters), device.id};
    return playback_->play(from, to, notice);
}

MCIERROR MciCdAudio::seek(DWORD flags, const MCI_SEEK_PARMS* parameters, const Device& device) {
    const DWORD where = flags & (MCI_TO | MCI_SEEK_TO_START | MCI_SEEK_TO_END);
    if (where == 0) return MCIERR_MISSING_PARAMETER;
    if (where != MCI_TO && where != MCI_SEEK_TO_START && where != MCI_SEEK_TO_END) return MCIERR_FLAGS_NOT_COMPATIBLE;
    int64_t frame = int64_t{disc_->trackStart(disc_->firstTrack())} * kFramesPerSector;
    if (where == MCI_SEEK_TO_END) frame = int64_t{disc_->end()} * kFramesPerSector;
    if (where == MCI_TO) {
        if (parameters == nullptr) return MCIERR_NULL_PARAMETER_BLOCK;
        if (const MCIERROR e = toFrame(device, parameters->dwTo, frame)) return e;
    }
    playback_->seek(frame);
    return 0;
}

MCIERROR MciCdAudio::status(const Device& device, DWORD flags, MCI_STATUS_PARMS* parameters) {
    if ((flags & MCI_STATUS_ITEM) == 0) return MCIERR_MISSING_PARAMETER;
    if (parameters == nullptr) return MCIERR_NULL_PARAMETER_BLOCK;
    const bool ofTrack = (flags & MCI_TRACK) != 0;
    const int track = static_cast<int>(parameters->dwTrack);
    if (ofTrack && !disc_->hasTrack(track)) return MCIERR_OUTOFRANGE;
    const auto trackEnd = [&](int t) { return t == disc_->lastTrack() ? disc_->end() : disc_->trackStart(t + 1); };
    const int32_t discStart = disc_->trackStart(disc_->firstTrack());
    DWORD_PTR& answer = parameters->dwReturn;
    switch (parameters->dwItem) {
        case MCI_STATUS_MODE:
            answer = playback_->playing() ? MCI_MODE_PLAY : MCI_MODE_STOP;
            return 0;
        case MCI_STATUS_NUMBER_OF_TRACKS:
            answer = static_cast<DWORD>(disc_->lastTrack() - disc_->firstTrack() + 1);
            return 0;
        case MCI_STATUS_CURRENT_TRACK:
            answer = static_cast<DWORD>(disc_->trackAt(static_cast<int32_t>(playback_->position() / kFramesPerSector)));
            return 0;
        case MCI_STATUS_POSITION: {
            int32_t sector = static_cast<int32_t>(playback_->position() / kFramesPerSector);
            if (ofTrack) sector = disc_->trackStart(track);
            if ((flags & MCI_STATUS_START) != 0) sector = discStart;
            answer = fromSector(device, sector, false);
            return 0;
        }
        case MCI_STATUS_LENGTH:
            answer = fromSector(device, ofTrack ? trackEnd(track) - disc_->trackStart(track) : disc_->end() - discStart,
                                true);
            return 0;
        case MCI_STATUS_MEDIA_PRESENT:
        case MCI_STATUS_READY:
            answer = TRUE;
            return 0;
        case MCI_STATUS_TIME_FORMAT:
            answer = device.timeFormat;
            return 0;
        case MCI_CDA_STATUS_TYPE_TRACK:
            if (!ofTrack) return MCIERR_MISSING_PARAMETER;
            answer = disc_->isAudio(track) ? MCI_CDA_TRACK_AUDIO : MCI_CDA_TRACK_OTHER;
            return 0;
        default:
            return MCIERR_UNSUPPORTED_FUNCTION;
    }
}

}  // namespace plat
