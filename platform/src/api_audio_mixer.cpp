// The audio mixer API over the one mixer device: its compact disc line and that line's
// volume control.
#include <plat/a5platform.h>
#include <plat/audio_mixer.h>

#include <cstdio>
#include <cstring>

#include "audio_mixer_device.h"
#include "export_guard.h"

using plat::AudioMixerDevice;

namespace {

constexpr DWORD kQueryMask = 0x0000000F;

template <size_t N>
void copyName(char (&to)[N], const char* from) {
    std::snprintf(to, N, "%s", from);
}

void describeCdLine(MIXERLINEA& line) {
    line.dwDestination = 0;
    line.dwSource = 0;
    line.dwLineID = AudioMixerDevice::kCdLineId;
    line.fdwLine = MIXERLINE_LINEF_SOURCE | MIXERLINE_LINEF_ACTIVE;
    line.dwUser = 0;
    line.dwComponentType = MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC;
    line.cChannels = AudioMixerDevice::kChannels;
    line.cConnections = 0;
    line.cControls = 1;
    copyName(line.szShortName, "CD Audio");
    copyName(line.szName, "CD Audio");
    line.Target.dwType = MIXERLINE_TARGETTYPE_UNDEFINED;
    line.Target.dwDeviceID = 0;
    line.Target.wMid = 0;
    line.Target.wPid = 0;
    line.Target.vDriverVersion = 0x0100;
    copyName(line.Target.szPname, "Platform Mixer");
}

void describeCdVolume(MIXERCONTROLA& control) {
    std::memset(&control, 0, sizeof control);
    control.cbStruct = sizeof control;
    control.dwControlID = AudioMixerDevice::kCdVolumeControlId;
    control.dwControlType = MIXERCONTROL_CONTROLTYPE_VOLUME;
    copyName(control.szShortName, "Volume");
    copyName(control.szName, "CD Audio Volume");
    control.Bounds.dwMinimum = 0;
    control.Bounds.dwMaximum = AudioMixerDevice::kMaximum;
    control.Metrics.cSteps = AudioMixerDevice::kMaximum + 1;
}

// The checks shared by reading and writing the volume's values.
MMRESULT checkDetails(HMIXEROBJ mixer, const MIXERCONTROLDETAILS* details, DWORD flags) {
    if (const MMRESULT r = AudioMixerDevice::instance().check(mixer, flags); r != MMSYSERR_NOERROR) return r;
    if ((flags & kQueryMask) != MIXER_GETCONTROLDETAILSF_VALUE) return MMSYSERR_INVALFLAG;
    if (details == nullptr || details->cbStruct < sizeof(MIXERCONTROLDETAILS)) return MMSYSERR_INVALPARAM;
    if (details->dwControlID != AudioMixerDevice::kCdVolumeControlId) return MIXERR_INVALCONTROL;
    if (details->cChannels != 1 && details->cChannels != AudioMixerDevice::kChannels)
        return MMSYSERR_INVALPARAM;
    if (details->cMultipleItems != 0 || details->cbDetails < sizeof(MIXERCONTROLDETAILS_UNSIGNED) ||
        details->paDetails == nullptr)
        return MMSYSERR_INVALPARAM;
    return MMSYSERR_NOERROR;
}

// The value of channel `i` in the caller's array (cbDetails apart).
MIXERCONTROLDETAILS_UNSIGNED* valueAt(const MIXERCONTROLDETAILS& details, DWORD i) {
    return reinterpret_cast<MIXERCONTROLDETAILS_UNSIGNED*>(static_cast<char*>(details.paDetails) +
                                                           size_t{i} * details.cbDetails);
}

}  // namespace

PLAT_API UINT mixerGetNumDevs() {
    return a5::guardExport(0u, [&]() -> UINT { return 1; });
}

PLAT_API MMRESULT mixerOpen(HMIXER* mixer, UINT device, DWORD_PTR callback, DWORD_PTR instance, DWORD flags) {
    return a5::guardExport(MMSYSERR_NODRIVER, [&]() -> MMRESULT {
        return AudioMixerDevice::instance().open(mixer, device, callback, instance, flags);
    });
}

PLAT_API MMRESULT mixerClose(HMIXER mixer) {
    return a5::guardExport(MMSYSERR_NODRIVER,
                           [&]() -> MMRESULT { return AudioMixerDevice::instance().close(mixer); });
}

PLAT_API MMRESULT mixerGetLineInfoA(HMIXEROBJ mixer, MIXERLINEA* line, DWORD flags) {
    return a5::guardExport(MMSYSERR_NODRIVER, [&]() -> MMRESULT {
        if (const MMRESULT r = AudioMixerDevice::instance().check(mixer, flags); r != MMSYSERR_NOERROR)
            return r;
        if (line == nullptr || line->cbStruct < sizeof(MIXERLINEA)) return MMSYSERR_INVALPARAM;
        switch (flags & kQueryMask) {
            case MIXER_GETLINEINFOF_COMPONENTTYPE:
                if (line->dwComponentType != MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC) return MIXERR_INVALLINE;
                break;
            case MIXER_GETLINEINFOF_LINEID:
                if (line->dwLineID != AudioMixerDevice::kCdLineId) return MIXERR_INVALLINE;
                break;
            default:
                return MMSYSERR_INVALFLAG;
        }
        describeCdLine(*line);
        return MMSYSERR_NOERROR;
    });
}

PLAT_API MMRESULT mixerGetLineControlsA(HMIXEROBJ mixer, MIXERLINECONTROLSA* controls, DWORD flags) {
    return a5::guardExport(MMSYSERR_NODRIVER, [&]() -> MMRESULT {
        if (const MMRESULT r = AudioMixerDevice::instance().check(mixer, flags); r != MMSYSERR_NOERROR)
            return r;
        if (controls == nullptr || controls->cbStruct < sizeof(MIXERLINECONTROLSA) ||
            controls->cbmxctrl < sizeof(MIXERCONTROLA) || controls->pamxctrl == nullptr)
            return MMSYSERR_INVALPARAM;
        switch (flags & kQueryMask) {
            case MIXER_GETLINECONTROLSF_ONEBYTYPE:
                if (controls->dwLineID != AudioMixerDevice::kCdLineId) return MIXERR_INVALLINE;
                if (controls->dwControlType != MIXERCONTROL_CONTROLTYPE_VOLUME) return MIXERR_INVALCONTROL;
                break;
            case MIXER_GETLINECONTROLSF_ONEBYID:
                if (controls->dwControlID != AudioMixerDevice::kCdVolumeControlId) return MIXERR_INVALCONTROL;
                controls->dwLineID = AudioMixerDevice::kCdLineId;
                break;
            case MIXER_GETLINECONTROLSF_ALL:
                if (controls->dwLineID != AudioMixerDevice::kCdLineId) return MIXERR_INVALLINE;
                if (controls->cControls != 1) return MMSYSERR_INVALPARAM;
                break;
            default:
                return MMSYSERR_INVALFLAG;
        }
        describeCdVolume(*controls->pamxctrl);
        return MMSYSERR_NOERROR;
    });
}

PLAT_API MMRESULT mixerGetControlDetailsA(HMIXEROBJ mixer, MIXERCONTROLDETAILS* details, DWORD flags) {
    return a5::guardExport(MMSYSERR_NODRIVER, [&]() -> MMRESULT {
        if (const MMRESULT r = checkDetails(mixer, details, flags); r != MMSYSERR_NOERROR) return r;
        DWORD left = 0;
        DWORD right = 0;
        AudioMixerDevice::instance().cdVolume(left, right);
        // Read as one channel, the line answers with its louder side.
        valueAt(*details, 0)->dwValue = details->cChannels == 1 ? (left > right ? left : right) : left;
        if (details->cChannels == 2) valueAt(*details, 1)->dwValue = right;
        return MMSYSERR_NOERROR;
    });
}

PLAT_API MMRESULT mixerSetControlDetails(HMIXEROBJ mixer, MIXERCONTROLDETAILS* details, DWORD flags) {
    return a5::guardExport(MMSYSERR_NODRIVER, [&]() -> MMRESULT {
        if (const MMRESULT r = checkDetails(mixer, details, flags); r != MMSYSERR_NOERROR) return r;
        const DWORD left = valueAt(*details, 0)->dwValue;
        const DWORD right = details->cChannels == 1 ? left : valueAt(*details, 1)->dwValue;
        return AudioMixerDevice::instance().setCdVolume(left, right) ? MMSYSERR_NOERROR : MMSYSERR_INVALPARAM;
    });
}

PLAT_API void a5p_fail_mixer_opens(unsigned count) {
    a5::guardExport([&] { AudioMixerDevice::instance().failOpens(count); });
}
