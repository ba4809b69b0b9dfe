// Media Control Interface: the CD audio device ("cdaudio", type 516).
//
// One CD drive per process. Opening the device finds the disc: a disc image (a CUE
// sheet with its BIN, or an NRG or TOC image, read through libcdio) chosen by
// A5PlatformConfig.cdImage, a5p_set_cd_image or the environment variable A5_CD_IMAGE,
// else the machine's default CD drive. Every drive letter names that one drive. When no
// drive or image can be read, the open fails and the device identifier stays 0.
//
// Playing reads the audio sectors and streams them (44.1 kHz, 16-bit stereo) through the
// sound service, so CD audio is mixed, captured and clocked like every other sound; the
// compact disc line of the audio mixer (plat/audio_mixer.h) sets its volume.
//
// Behaviour of the device, as a CD drive behaves:
// - Positions are frames of 1/75 s. A track's position (TMSF) is its INDEX 01: a pregap
//   (INDEX 00) is heard only when the previous track plays through it, and it counts as
//   part of the previous track.
// - A disc at rest stands at the start of its first track.
// - Pause stops at the current position and the device then reports MCI_MODE_STOP; play
//   without MCI_FROM resumes there. Stop also keeps the position.
// - Play without MCI_TO plays to the end of the disc. A range that starts on a data
//   track fails with MCIERR_HARDWARE.
// - MCI_NOTIFY posts MM_MCINOTIFY (wParam: MCI_NOTIFY_*, lParam: the device identifier)
//   to the window in dwCallback: for play when the range ends, superseded by the next
//   play, aborted by pause, stop, seek or close; for other commands when they return.
// - MCI_WAIT with play is refused (MCIERR_UNSUPPORTED_FUNCTION); every other command
//   completes before mciSendCommandA returns.
#pragma once

#include <plat/wintypes.h>

using MCIDEVICEID = UINT;
using MCIERROR = DWORD;

// Commands.
inline constexpr UINT MCI_OPEN = 0x0803;
inline constexpr UINT MCI_CLOSE = 0x0804;
inline constexpr UINT MCI_PLAY = 0x0806;
inline constexpr UINT MCI_SEEK = 0x0807;
inline constexpr UINT MCI_STOP = 0x0808;
inline constexpr UINT MCI_PAUSE = 0x0809;
inline constexpr UINT MCI_SET = 0x080D;
inline constexpr UINT MCI_STATUS = 0x0814;

// Flags of every command.
inline constexpr DWORD MCI_NOTIFY = 0x00000001;
inline constexpr DWORD MCI_WAIT = 0x00000002;
inline constexpr DWORD MCI_FROM = 0x00000004;
inline constexpr DWORD MCI_TO = 0x00000008;
inline constexpr DWORD MCI_TRACK = 0x00000010;

// Open.
inline constexpr DWORD MCI_OPEN_SHAREABLE = 0x00000100;
inline constexpr DWORD MCI_OPEN_ELEMENT = 0x00000200;
inline constexpr DWORD MCI_OPEN_ALIAS = 0x00000400;
inline constexpr DWORD MCI_OPEN_TYPE_ID = 0x00001000;
inline constexpr DWORD MCI_OPEN_TYPE = 0x00002000;
inline constexpr UINT MCI_DEVTYPE_CD_AUDIO = 516;

// Set.
inline constexpr DWORD MCI_SET_TIME_FORMAT = 0x00000400;
inline constexpr DWORD MCI_FORMAT_MILLISECONDS = 0;
inline constexpr DWORD MCI_FORMAT_MSF = 2;
inline constexpr DWORD MCI_FORMAT_TMSF = 10;

// Seek.
inline constexpr DWORD MCI_SEEK_TO_START = 0x00000100;
inline constexpr DWORD MCI_SEEK_TO_END = 0x00000200;

// Status.
inline constexpr DWORD MCI_STATUS_ITEM = 0x00000100;
inline constexpr DWORD MCI_STATUS_START = 0x00000200;
inline constexpr DWORD MCI_STATUS_LENGTH = 1;
inline constexpr DWORD MCI_STATUS_POSITION = 2;
inline constexpr DWORD MCI_STATUS_NUMBER_OF_TRACKS = 3;
inline constexpr DWORD MCI_STATUS_MODE = 4;
inline constexpr DWORD MCI_STATUS_MEDIA_PRESENT = 5;
inline constexpr DWORD MCI_STATUS_TIME_FORMAT = 6;
inline constexpr DWORD MCI_STATUS_READY = 7;
inline constexpr DWORD MCI_STATUS_CURRENT_TRACK = 8;
inline constexpr DWORD MCI_CDA_STATUS_TYPE_TRACK = 0x00004001;
inline constexpr DWORD MCI_CDA_TRACK_AUDIO = 1088;
inline constexpr DWORD MCI_CDA_TRACK_OTHER = 1089;

inline constexpr DWORD MCI_MODE_NOT_READY = 524;
inline constexpr DWORD MCI_MODE_STOP = 525;
inline constexpr DWORD MCI_MODE_PLAY = 526;
inline constexpr DWORD MCI_MODE_SEEK = 528;
inline constexpr DWORD MCI_MODE_PAUSE = 529;
inline constexpr DWORD MCI_MODE_OPEN = 530;

// Completion notices.
inline constexpr UINT MM_MCINOTIFY = 0x03B9;
inline constexpr WPARAM MCI_NOTIFY_SUCCESSFUL = 0x0001;
inline constexpr WPARAM MCI_NOTIFY_SUPERSEDED = 0x0002;
inline constexpr WPARAM MCI_NOTIFY_ABORTED = 0x0004;
inline constexpr WPARAM MCI_NOTIFY_FAILURE = 0x0008;

// Errors (0 is success).
inline constexpr MCIERROR MCIERR_BASE = 256;
inline constexpr MCIERROR MCIERR_INVALID_DEVICE_ID = MCIERR_BASE + 1;
inline constexpr MCIERROR MCIERR_UNRECOGNIZED_COMMAND = MCIERR_BASE + 5;
inline constexpr MCIERROR MCIERR_HARDWARE = MCIERR_BASE + 6;
inline constexpr MCIERROR MCIERR_INVALID_DEVICE_NAME = MCIERR_BASE + 7;
inline constexpr MCIERROR MCIERR_OUT_OF_MEMORY = MCIERR_BASE + 8;
inline constexpr MCIERROR MCIERR_MISSING_PARAMETER = MCIERR_BASE + 17;
inline constexpr MCIERROR MCIERR_UNSUPPORTED_FUNCTION = MCIERR_BASE + 18;
inline constexpr MCIERROR MCIERR_DEVICE_NOT_READY = MCIERR_BASE + 20;
inline constexpr MCIERROR MCIERR_OUTOFRANGE = MCIERR_BASE + 26;
inline constexpr MCIERROR MCIERR_FLAGS_NOT_COMPATIBLE = MCIERR_BASE + 28;
inline constexpr MCIERROR MCIERR_DUPLICATE_ALIAS = MCIERR_BASE + 33;
inline constexpr MCIERROR MCIERR_BAD_TIME_FORMAT = MCIERR_BASE + 37;
inline constexpr MCIERROR MCIERR_NULL_PARAMETER_BLOCK = MCIERR_BASE + 41;

// Parameter blocks.
struct MCI_GENERIC_PARMS {
    DWORD_PTR dwCallback;
};
struct MCI_OPEN_PARMSA {
    DWORD_PTR dwCallback;
    MCIDEVICEID wDeviceID;
    LPCSTR lpstrDeviceType;  // with MCI_OPEN_TYPE_ID: the type number (low word) cast to a pointer
    LPCSTR lpstrElementName;
    LPCSTR lpstrAlias;
};
struct MCI_SET_PARMS {
    DWORD_PTR dwCallback;
    DWORD dwTimeFormat;
    DWORD dwAudio;
};
struct MCI_PLAY_PARMS {
    DWORD_PTR dwCallback;
    DWORD dwFrom;
    DWORD dwTo;
};
struct MCI_SEEK_PARMS {
    DWORD_PTR dwCallback;
    DWORD dwTo;
};
struct MCI_STATUS_PARMS {
    DWORD_PTR dwCallback;
    DWORD_PTR dwReturn;
    DWORD dwItem;
    DWORD dwTrack;
};

// TMSF and MSF positions: track in the lowest byte, then minutes, seconds, frames (TMSF);
// minutes in the lowest byte, then seconds, frames (MSF).
constexpr DWORD MCI_MAKE_TMSF(BYTE t, BYTE m, BYTE s, BYTE f) {
    return DWORD{t} | DWORD{m} << 8 | DWORD{s} << 16 | DWORD{f} << 24;
}
constexpr DWORD MCI_MAKE_MSF(BYTE m, BYTE s, BYTE f) { return DWORD{m} | DWORD{s} << 8 | DWORD{f} << 16; }
constexpr BYTE MCI_TMSF_TRACK(DWORD t) { return static_cast<BYTE>(t); }
constexpr BYTE MCI_TMSF_MINUTE(DWORD t) { return static_cast<BYTE>(t >> 8); }
constexpr BYTE MCI_TMSF_SECOND(DWORD t) { return static_cast<BYTE>(t >> 16); }
constexpr BYTE MCI_TMSF_FRAME(DWORD t) { return static_cast<BYTE>(t >> 24); }
constexpr BYTE MCI_MSF_MINUTE(DWORD t) { return static_cast<BYTE>(t); }
constexpr BYTE MCI_MSF_SECOND(DWORD t) { return static_cast<BYTE>(t >> 8); }
constexpr BYTE MCI_MSF_FRAME(DWORD t) { return static_cast<BYTE>(t >> 16); }

// Sends a command: 0, or an MCIERR_ code. MCI_OPEN goes to device 0 and returns the new
// device's identifier in wDeviceID; every other command goes to an open device.
PLAT_API MCIERROR mciSendCommandA(MCIDEVICEID device, UINT command, DWORD_PTR flags, DWORD_PTR parameters);

// The text of an error code, cut to fit `length` bytes with its terminating zero. FALSE
// for a code that is not an MCI error (the buffer then holds an empty text).
PLAT_API BOOL mciGetErrorStringA(MCIERROR error, LPSTR text, UINT length);
