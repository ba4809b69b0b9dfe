// The MCI CD audio devices of the process: every open is a device identifier (with its
// alias and time format) on the one drive; the disc is read when the first device opens
// and let go when the last one closes. Commands arrive whole, as mciSendCommandA got
// them, and run one at a time.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <plat/mci.h>

namespace plat {

class CdDisc;
class CdPlayback;

class MciCdAudio {
public:
    static MciCdAudio& instance();

    MCIERROR command(MCIDEVICEID device, UINT command, DWORD flags, DWORD_PTR parameters);

    // Which disc the next first open reads (see a5p_set_cd_image): an image, the drive
    // for an empty path, or with null the configured choice.
    void setImage(const char* path);

private:
    struct Device {
        MCIDEVICEID id;
        std::string alias;
        DWORD timeFormat = MCI_FORMAT_MSF;
    };

    MCIERROR open(DWORD flags, MCI_OPEN_PARMSA* parameters);
    MCIERROR close(Device& device);
    MCIERROR set(Device& device, DWORD flags, const MCI_SET_PARMS* parameters);
    MCIERROR play(const Device& device, DWORD flags, const MCI_PLAY_PARMS* parameters);
    MCIERROR seek(DWORD flags, const MCI_SEEK_PARMS* parameters, const Device& device);
    MCIERROR status(const Device& device, DWORD flags, MCI_STATUS_PARMS* parameters);

    // A position in the device's time format as a frame count from sector 0.
    MCIERROR toFrame(const Device& device, DWORD position, int64_t& frame) const;
    // A sector (or sector count with `length`) in the device's time format.
    DWORD fromSector(const Device& device, int32_t sector, bool length) const;
    Device* find(MCIDEVICEID id);
    std::string chosenImage() const;

    std::mutex mutex_;  // the whole of a command
    std::vector<Device> devices_;
    MCIDEVICEID nextId_ = 1;
    std::unique_ptr<CdDisc> disc_;  // while a device is open
    std::unique_ptr<CdPlayback> playback_;
    bool imageSet_ = false;
    std::string image_;
};

}  // namespace plat
