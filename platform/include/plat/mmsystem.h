// Multimedia timer service: periodic and one-shot timers whose callbacks run on the
// service's own thread, in due-time order, following the platform clock (real or virtual).
#pragma once

#include <plat/wintypes.h>

using LPTIMECALLBACK = void (*)(UINT timerId, UINT message, DWORD_PTR user, DWORD_PTR reserved1,
                                DWORD_PTR reserved2);

inline constexpr UINT TIME_ONESHOT = 0x0000;
inline constexpr UINT TIME_PERIODIC = 0x0001;
inline constexpr UINT TIME_CALLBACK_FUNCTION = 0x0000;
inline constexpr MMRESULT TIMERR_NOERROR = 0;
inline constexpr MMRESULT TIMERR_NOCANDO = 97;
inline constexpr MMRESULT MMSYSERR_INVALPARAM = 11;

// Resolution requests are accepted and have no effect: the service always runs at its
// finest resolution.
PLAT_API MMRESULT timeBeginPeriod(UINT milliseconds);
PLAT_API MMRESULT timeEndPeriod(UINT milliseconds);

// Returns a timer identifier (never 0), or 0 when no timer can be made. The first call
// comes one delay after this call.
PLAT_API MMRESULT timeSetEvent(UINT delay, UINT resolution, LPTIMECALLBACK callback, DWORD_PTR user, UINT flags);

// No callback of the timer begins after this returns. Called from another thread while
// the timer's callback runs, it waits for that callback to return; called from inside
// the timer's own callback, it does not wait.
PLAT_API MMRESULT timeKillEvent(UINT timerId);

// Milliseconds of the platform clock.
PLAT_API DWORD timeGetTime();
