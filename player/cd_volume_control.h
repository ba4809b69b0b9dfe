// The CD volume through the audio mixer: mixer device 0, its compact disc source line
// and that line's volume control, read and written in percent for two channels. Opened
// once; the mixer handle is never closed. Without a mixer or a control, reads and
// writes do nothing. read and write may run on the timer thread while the script thread
// is elsewhere; open runs before any of them.
#pragma once

#include <cstdint>

#include <plat/audio_mixer.h>

namespace orvox::cd {

class CdVolumeControl {
public:
    // Opens the mixer with `window` as its callback window and finds the CD line's volume
    // control. A mixer that does not open is reported in a message box owned by the
    // window, which holds the calling thread until it is dismissed.
    bool open(HWND window);

    // Both channels in percent, the nearest whole percent (halves up); on a mixer error
    // the places keep their values.
    void read(int32_t& left, int32_t& right) const;
    // Each channel's value is minimum + (maximum - minimum) * percent / 100 in unsigned
    // 32-bit arithmetic (a negative percent wraps); the mixer's answer is not looked at.
    void write(int32_t left, int32_t right) const;

private:
    HMIXER mixer_ = nullptr;
    MIXERLINEA line_{};
    MIXERCONTROLA control_{};
    DWORD controlId_ = 0;
    DWORD minimum_ = 0;
    DWORD maximum_ = 0;
};

}  // namespace orvox::cd
