// The thread that answers a song's block notifications until it is told to quit.
#pragma once

#include <plat/wintypes.h>

namespace wavestream {

// Thread procedure; `player` is the SongPlayer whose song it refills. Ends on WM_QUIT,
// on a failed refill, or when its wait fails.
DWORD songWorker(void* player);

}  // namespace wavestream
