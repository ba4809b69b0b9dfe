// The Windows Media kind of stream (WMA, WMV, ASF audio): fed by the platform's media
// reader through its callbacks instead of a refill timer. The player takes it for every
// file that no other kind took.
#pragma once

#include <plat/dsound.h>

#include <memory>

#include "sound_stream.h"

namespace orvox::stream {

class WindowsMediaStream : public SoundStream {
public:
    // Opens `path` with a media reader and starts playing it; `endEvent` is signalled at
    // every end of the file. Logs its own failure lines.
    virtual bool play(const char* path, int32_t loop, HANDLE endEvent, IDirectSound* directSound) = 0;
};

// A fresh stream with volume 100, nothing open.
std::unique_ptr<WindowsMediaStream> makeWindowsMediaStream();

}  // namespace orvox::stream
