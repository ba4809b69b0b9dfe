// The MCI entry points: commands go to the CD audio devices; error codes become texts.
#include <plat/a5platform.h>
#include <plat/mci.h>

#include <cstdio>

#include "export_guard.h"
#include "mci_cd_audio.h"

namespace {

const char* errorText(MCIERROR error) {
    switch (error) {
        case 0:
            return "The specified command was carried out.";
        case MCIERR_INVALID_DEVICE_ID:
            return "Invalid MCI device ID. Use the ID returned when opening the MCI device.";
        case MCIERR_UNRECOGNIZED_COMMAND:
            return "The specified command is not recognized by the device.";
        case MCIERR_HARDWARE:
            return "The media device cannot play this part of the disc. Make sure it holds an audio track "
                   "and "
                   "can be read.";
        case MCIERR_INVALID_DEVICE_NAME:
            return "The specified device is not open or is not recognized by MCI.";
        case MCIERR_OUT_OF_MEMORY:
            return "Your system does not have enough memory for this task.";
        case MCIERR_MISSING_PARAMETER:
            return "The specified command requires a parameter. Please supply one.";
        case MCIERR_UNSUPPORTED_FUNCTION:
            return "The MCI device you are using does not support the specified command.";
        case MCIERR_DEVICE_NOT_READY:
            return "The device is not ready.";
        case MCIERR_OUTOFRANGE:
            return "The specified parameter is out of range for the specified command.";
        case MCIERR_FLAGS_NOT_COMPATIBLE:
            return "The specified parameters cannot be used together.";
        case MCIERR_DUPLICATE_ALIAS:
            return "The specified alias is already being used in this application. Use a unique alias.";
        case MCIERR_BAD_TIME_FORMAT:
            return "The specified value for the time format is invalid.";
        case MCIERR_NULL_PARAMETER_BLOCK:
            return "A null parameter block was passed to MCI.";
        default:
            return nullptr;
    }
}

}  // namespace

PLAT_API MCIERROR mciSendCommandA(MCIDEVICEID device, UINT command, DWORD_PTR flags, DWORD_PTR parameters) {
    return a5::guardExport(MCIERR_OUT_OF_MEMORY, [&]() -> MCIERROR {
        return plat::MciCdAudio::instance().command(device, command, static_cast<DWORD>(flags), parameters);
    });
}

PLAT_API BOOL mciGetErrorStringA(MCIERROR error, LPSTR text, UINT length) {
    return a5::guardExport(FALSE, [&]() -> BOOL {
        const char* found = errorText(error);
        if (text != nullptr && length > 0) std::snprintf(text, length, "%s", found != nullptr ? found : "");
        return found != nullptr ? TRUE : FALSE;
    });
}

PLAT_API void a5p_set_cd_image(const char* path) {
    a5::guardExport([&] { plat::MciCdAudio::instance().setImage(path); });
}
