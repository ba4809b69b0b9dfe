// The multimedia timer entry points, on the runtime's timer service.
#include <plat/mmsystem.h>

#include "export_guard.h"
#include "runtime.h"

using plat::Runtime;

PLAT_API MMRESULT timeBeginPeriod(UINT milliseconds) {
    return a5::guardExport(TIMERR_NOCANDO,
                           [&]() -> MMRESULT { return milliseconds ? TIMERR_NOERROR : TIMERR_NOCANDO; });
}

PLAT_API MMRESULT timeEndPeriod(UINT milliseconds) {
    return a5::guardExport(TIMERR_NOCANDO,
                           [&]() -> MMRESULT { return milliseconds ? TIMERR_NOERROR : TIMERR_NOCANDO; });
}

PLAT_API MMRESULT timeSetEvent(UINT delay, UINT, LPTIMECALLBACK callback, DWORD_PTR user, UINT flags) {
    return a5::guardExport(MMRESULT{0}, [&]() -> MMRESULT {
        return Runtime::get().timers().create(delay, callback, user, (flags & TIME_PERIODIC) != 0);
    });
}

PLAT_API MMRESULT timeKillEvent(UINT timerId) {
    return a5::guardExport(MMSYSERR_INVALPARAM, [&]() -> MMRESULT {
        return Runtime::get().timers().kill(timerId) ? TIMERR_NOERROR : MMSYSERR_INVALPARAM;
    });
}

PLAT_API DWORD timeGetTime() {
    return a5::guardExport(
        DWORD{0}, [&]() -> DWORD { return static_cast<DWORD>(Runtime::get().clock().now() / 1'000'000); });
}
