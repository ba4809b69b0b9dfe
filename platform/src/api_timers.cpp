// The multimedia timer entry points, on the runtime's timer service.
#include <plat/mmsystem.h>

#include "runtime.h"

using plat::Runtime;

PLAT_API MMRESULT timeBeginPeriod(UINT milliseconds) { return milliseconds ? TIMERR_NOERROR : TIMERR_NOCANDO; }

PLAT_API MMRESULT timeEndPeriod(UINT milliseconds) { return milliseconds ? TIMERR_NOERROR : TIMERR_NOCANDO; }

PLAT_API MMRESULT timeSetEvent(UINT delay, UINT, LPTIMECALLBACK callback, DWORD_PTR user, UINT flags) {
    return Runtime::get().timers().create(delay, callback, user, (flags & TIME_PERIODIC) != 0);
}

PLAT_API MMRESULT timeKillEvent(UINT timerId) {
    return Runtime::get().timers().kill(timerId) ? TIMERR_NOERROR : MMSYSERR_INVALPARAM;
}

PLAT_API DWORD timeGetTime() { return static_cast<DWORD>(Runtime::get().clock().now() / 1'000'000); }
