#include "cd_volume_control.h"

#include <algorithm>
#include <cstdint>

#include <plat/winbase.h>

namespace orvox::cd {

namespace {

MIXERCONTROLDETAILS valueDetails(DWORD controlId, MIXERCONTROLDETAILS_UNSIGNED (&values)[2]) {
    MIXERCONTROLDETAILS details{};
    details.cbStruct = sizeof details;
    details.dwControlID = controlId;
    details.cChannels = 2;
    details.cMultipleItems = 0;
    details.cbDetails = sizeof values[0];
    details.paDetails = values;
    return details;
}

}  // namespace

bool CdVolumeControl::open(HWND window) {
    if (mixerOpen(&mixer_, 0, reinterpret_cast<DWORD_PTR>(window), 0, CALLBACK_WINDOW) != MMSYSERR_NOERROR) {
        mixer_ = nullptr;
        MessageBoxA(window, "Unable to open Mixer Controls.", "Volume Control Error", MB_ICONHAND);
        return false;
    }
    auto* object = reinterpret_cast<HMIXEROBJ>(mixer_);
    line_.cbStruct = sizeof line_;
    line_.dwComponentType = MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC;
    if (mixerGetLineInfoA(object, &line_, MIXER_OBJECTF_HMIXER | MIXER_GETLINEINFOF_COMPONENTTYPE) !=
        MMSYSERR_NOERROR)
        return false;

    MIXERLINECONTROLSA controls{};
    controls.cbStruct = sizeof controls;
    controls.dwLineID = line_.dwLineID;
    controls.dwControlType = MIXERCONTROL_CONTROLTYPE_VOLUME;
    controls.cControls = 1;
    controls.cbmxctrl = sizeof control_;
    controls.pamxctrl = &control_;
    if (mixerGetLineControlsA(object, &controls, MIXER_OBJECTF_HMIXER | MIXER_GETLINECONTROLSF_ONEBYTYPE) !=
        MMSYSERR_NOERROR)
        return false;

    controlId_ = control_.dwControlID;
    minimum_ = control_.Bounds.dwMinimum;
    maximum_ = control_.Bounds.dwMaximum;
    return true;
}

void CdVolumeControl::read(int32_t& left, int32_t& right) const {
    if (mixer_ == nullptr || maximum_ <= minimum_) return;
    MIXERCONTROLDETAILS_UNSIGNED values[2] = {};
    MIXERCONTROLDETAILS details = valueDetails(controlId_, values);
    if (mixerGetControlDetailsA(reinterpret_cast<HMIXEROBJ>(mixer_), &details,
                                MIXER_OBJECTF_HMIXER | MIXER_GETCONTROLDETAILSF_VALUE) != MMSYSERR_NOERROR)
        return;
    // A value outside the range (which a mixer should not give) stays a number in range
    // of the type instead of overflowing it.
    const auto percent = [this](DWORD value) {
        const double p = double(value - minimum_) * 100.0 / double(maximum_ - minimum_) + 0.5;
        return static_cast<int32_t>(std::min(p, double{INT32_MAX}));
    };
    left = percent(values[0].dwValue);
    right = percent(values[1].dwValue);
}

void CdVolumeControl::write(int32_t left, int32_t right) const {
    if (mixer_ == nullptr) return;
    const auto value = [this](int32_t percent) {
        return DWORD{minimum_ + (maximum_ - minimum_) * static_cast<uint32_t>(percent) / 100u};
    };
    MIXERCONTROLDETAILS_UNSIGNED values[2] = {{value(left)}, {value(right)}};
    MIXERCONTROLDETAILS details = valueDetails(controlId_, values);
    mixerSetControlDetails(reinterpret_cast<HMIXEROBJ>(mixer_), &details,
                           MIXER_OBJECTF_HMIXER | MIXER_SETCONTROLDETAILSF_VALUE);
}

}  // namespace orvox::cd
