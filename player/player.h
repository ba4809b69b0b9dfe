// The media player's library-wide state and its script operations: the sound table and
// the three lists of stream objects, Orvox_Play's choice of a source, index resolution,
// the per-sound controls and the operations on everything at once. Arguments and results
// are the engine's raw values (`fixed` in; a raw status or a `fixed` number out); the
// exports only forward to one Player.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "buffer_stream.h"
#include "engine_interface.h"
#include "ended_streams.h"
#include "sound_table.h"
#include "windows_media_stream.h"

namespace orvox {

class Player {
public:
    Player() = default;
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    // The new index as `fixed`; 0 when the file does not exist; raw -1 when no source
    // takes the file (the index is used up all the same).
    int32_t play(const char* name, host::fixed loopSwitch);

    int32_t stop(host::fixed index);
    int32_t setVolume(host::fixed index, host::fixed volume);
    int32_t fade(host::fixed index, host::fixed step, bool fadeOut);
    int32_t togglePause(host::fixed index);
    int32_t isPlaying(host::fixed index);

    int32_t stopAll();
    int32_t pauseAll();
    int32_t shutdown();

    // The stream object behind an index, or null for indexes without a stream.
    stream::SoundStream* streamAt(int index);
    int32_t lastIndex() const { return lastIndex_; }

private:
    enum class Outcome { NotTaken, Failed, Playing };
    using MakeStream = std::unique_ptr<stream::BufferStream> (*)();

    Outcome tryStream(MakeStream make, std::vector<std::unique_ptr<stream::BufferStream>>& list, SourceKind kind,
                      const char* successPrefix, const char* name, int32_t loop);
    Outcome tryTracker(const char* name);
    Outcome tryWindowsMedia(const char* name, int32_t loop);
    void logSuccess(const char* prefix, const char* name) const;

    // The entry an index names, or nothing (logged when the index is too large).
    std::optional<SoundEntry> resolve(host::fixed index) const;
    stream::SoundStream* streamOf(const SoundEntry& entry);
    // Resolves the index and acts on the tracker or on the entry's stream: 1 once resolved.
    template <class OnTracker, class OnStream>
    int32_t control(host::fixed index, OnTracker onTracker, OnStream onStream);
    template <class Action>
    void forEachStream(Action action);
    // Shuts down the streams that reported their end since the last call: every script
    // operation starts with it, so an ended one-shot sound holds nothing for long.
    void releaseEnded();

    // Declared before the lists: a stream's last tick may still post to it while they go.
    stream::EndedStreams ended_;
    std::vector<SoundEntry> table_;
    int32_t lastIndex_ = -1;
    std::vector<std::unique_ptr<stream::BufferStream>> mp3Streams_;
    std::vector<std::unique_ptr<stream::BufferStream>> oggStreams_;
    std::vector<stream::WindowsMediaStreamRef> windowsMediaStreams_;
};

}  // namespace orvox
