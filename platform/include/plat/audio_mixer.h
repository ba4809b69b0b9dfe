// The audio mixer device: one mixer (device 0) whose source line of component type
// "compact disc" carries one control, a two-channel volume from 0 to 65535. The value of
// each channel scales the CD audio device's output (plat/mci.h) linearly: 65535 plays the
// disc's samples unchanged, 0 is silent.
//
// A value above the control's maximum is refused with MMSYSERR_INVALPARAM and changes
// nothing. The control's value belongs to the process, not to a handle: every handle
// reads what any handle last set. It starts at the maximum.
#pragma once

#include <plat/mmsystem.h>
#include <plat/wintypes.h>

struct HMIXER__;
using HMIXER = HMIXER__*;
using HMIXEROBJ = void*;

inline constexpr MMRESULT MMSYSERR_NOERROR = 0;
inline constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;
inline constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
inline constexpr MMRESULT MMSYSERR_NODRIVER = 6;
inline constexpr MMRESULT MMSYSERR_INVALFLAG = 10;
inline constexpr MMRESULT MIXERR_INVALLINE = 1024;
inline constexpr MMRESULT MIXERR_INVALCONTROL = 1025;

inline constexpr DWORD CALLBACK_NULL = 0x00000000;
inline constexpr DWORD CALLBACK_WINDOW = 0x00010000;

// Object flags: the first argument is a device number, or with the handle bit a handle.
inline constexpr DWORD MIXER_OBJECTF_MIXER = 0x00000000;
inline constexpr DWORD MIXER_OBJECTF_HMIXER = 0x80000000;

inline constexpr DWORD MIXER_GETLINEINFOF_LINEID = 2;
inline constexpr DWORD MIXER_GETLINEINFOF_COMPONENTTYPE = 3;
inline constexpr DWORD MIXER_GETLINECONTROLSF_ALL = 0;
inline constexpr DWORD MIXER_GETLINECONTROLSF_ONEBYID = 1;
inline constexpr DWORD MIXER_GETLINECONTROLSF_ONEBYTYPE = 2;
inline constexpr DWORD MIXER_GETCONTROLDETAILSF_VALUE = 0;
inline constexpr DWORD MIXER_SETCONTROLDETAILSF_VALUE = 0;

inline constexpr DWORD MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC = 0x00001005;
inline constexpr DWORD MIXERLINE_LINEF_ACTIVE = 0x00000001;
inline constexpr DWORD MIXERLINE_LINEF_SOURCE = 0x80000000;
inline constexpr DWORD MIXERLINE_TARGETTYPE_UNDEFINED = 0;
inline constexpr DWORD MIXERCONTROL_CONTROLTYPE_VOLUME = 0x50030001;

inline constexpr size_t MIXER_SHORT_NAME_CHARS = 16;
inline constexpr size_t MIXER_LONG_NAME_CHARS = 64;
inline constexpr size_t MAXPNAMELEN = 32;

struct MIXERLINEA {
    DWORD cbStruct;
    DWORD dwDestination;
    DWORD dwSource;
    DWORD dwLineID;
    DWORD fdwLine;
    DWORD_PTR dwUser;
    DWORD dwComponentType;
    DWORD cChannels;
    DWORD cConnections;
    DWORD cControls;
    char szShortName[MIXER_SHORT_NAME_CHARS];
    char szName[MIXER_LONG_NAME_CHARS];
    struct {
        DWORD dwType;
        DWORD dwDeviceID;
        WORD wMid;
        WORD wPid;
        UINT vDriverVersion;
        char szPname[MAXPNAMELEN];
    } Target;
};

struct MIXERCONTROLA {
    DWORD cbStruct;
    DWORD dwControlID;
    DWORD dwControlType;
    DWORD fdwControl;
    DWORD cMultipleItems;
    char szShortName[MIXER_SHORT_NAME_CHARS];
    char szName[MIXER_LONG_NAME_CHARS];
    struct {
        union {
            LONG lMinimum;
            DWORD dwMinimum;
        };
        union {
            LONG lMaximum;
            DWORD dwMaximum;
        };
        DWORD dwReserved[4];
    } Bounds;
    union {
        DWORD cSteps;
        DWORD cbCustomData;
        DWORD dwReserved[6];
    } Metrics;
};

struct MIXERLINECONTROLSA {
    DWORD cbStruct;
    DWORD dwLineID;
    union {
        DWORD dwControlID;
        DWORD dwControlType;
    };
    DWORD cControls;
    DWORD cbmxctrl;
    MIXERCONTROLA* pamxctrl;
};

struct MIXERCONTROLDETAILS {
    DWORD cbStruct;
    DWORD dwControlID;
    DWORD cChannels;  // 1 sets or reads every channel as one
    union {
        HWND hwndOwner;
        DWORD cMultipleItems;
    };
    DWORD cbDetails;
    LPVOID paDetails;
};

struct MIXERCONTROLDETAILS_UNSIGNED {
    DWORD dwValue;
};

PLAT_API UINT mixerGetNumDevs();
// Device 0 only. The callback window and instance are accepted and kept for the handle;
// the mixer sends them nothing.
PLAT_API MMRESULT mixerOpen(HMIXER* mixer, UINT device, DWORD_PTR callback, DWORD_PTR instance, DWORD flags);
PLAT_API MMRESULT mixerClose(HMIXER mixer);
PLAT_API MMRESULT mixerGetLineInfoA(HMIXEROBJ mixer, MIXERLINEA* line, DWORD flags);
PLAT_API MMRESULT mixerGetLineControlsA(HMIXEROBJ mixer, MIXERLINECONTROLSA* controls, DWORD flags);
PLAT_API MMRESULT mixerGetControlDetailsA(HMIXEROBJ mixer, MIXERCONTROLDETAILS* details, DWORD flags);
PLAT_API MMRESULT mixerSetControlDetails(HMIXEROBJ mixer, MIXERCONTROLDETAILS* details, DWORD flags);
