#include "song_worker.h"

#include <plat/winbase.h>

#include "song_player.h"

namespace wavestream {

DWORD songWorker(void* player) {
    auto& song = *static_cast<SongPlayer*>(player);
    const HANDLE event = song.notifyEvent();
    for (;;) {
        const DWORD woken = MsgWaitForMultipleObjects(1, &event, FALSE, INFINITE, QS_ALLEVENTS);
        if (woken == WAIT_OBJECT_0) {
            if (FAILED(song.refillOnNotification())) return 1;
        } else if (woken == WAIT_OBJECT_0 + 1) {
            bool quit = false;
            MSG msg;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) quit = quit || msg.message == WM_QUIT;
            if (quit) return 0;
        } else if (woken == WAIT_FAILED) {
            return 1;  // waiting again would spin
        }
    }
}

}  // namespace wavestream
