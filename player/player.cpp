#include "player.h"

#include <plat/file_open.h>
#include <plat/winbase.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "cd_audio.h"
#include "eax.h"
#include "guarded_access.h"
#include "media_log.h"
#include "mp3_stream.h"
#include "ogg_stream.h"
#include "tracker.h"

namespace orvox {

namespace {
constexpr const char* kEndEventName = "9e828a72-64f3-48f0-9de8-13dafd0cbd3a";
constexpr DWORD kEndEventWaitMs = 50;

std::unique_ptr<stream::BufferStream> makeOggStream() { return std::make_unique<stream::OggStream>(); }

// An event handle closed when it goes out of scope.
class EventHandle {
public:
    explicit EventHandle(HANDLE handle) : handle_(handle) {}
    EventHandle(const EventHandle&) = delete;
    EventHandle& operator=(const EventHandle&) = delete;
    ~EventHandle() {
        if (handle_ != nullptr) CloseHandle(handle_);
    }
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};
}  // namespace

void Player::releaseEnded() {
    ended_.releaseAll([](stream::SoundStream& s) { s.shutdown(); });
}

int32_t Player::play(const char* name, host::fixed loopSwitch) {
    releaseEnded();
    tracker::bringUp();
    if (name == nullptr) name = "";
    // A FIFO, a device or a folder is no media file: its open could wait for ever, so it
    // is answered as a missing file before anything opens it.
    if (!plat::isRegularFile(name)) {
        if (log::on()) log::write({"Error: Orvox_Play - ", name, " does not exist\n"});
        return 0;
    }

    ++lastIndex_;
    table_.push_back(SoundEntry{});
    const int32_t loop = host::toInt(loopSwitch);

    // Every source keeps the name in a field of 256 characters: refuse what does not fit
    // before anything is opened.
    if (std::strlen(name) >= stream::kMaxPathChars) {
        if (log::on()) log::write({"Error: Orvox_Play - ", name, " has a name of 256 characters or more\n"});
        return -1;
    }

    Outcome outcome = tryStream(&stream::makeMp3Stream, mp3Streams_, Mp3Stream, "Success: MP3: ", name, loop);
    if (outcome == Outcome::NotTaken)
        outcome = tryStream(&makeOggStream, oggStreams_, OggStream, "Success: OGG: ", name, loop);
    if (outcome == Outcome::NotTaken) outcome = tryTracker(name);
    if (outcome == Outcome::NotTaken) outcome = tryWindowsMedia(name, loop);
    return outcome == Outcome::Playing ? host::toFixed(lastIndex_) : -1;
}

Player::Outcome Player::tryStream(MakeStream make, std::vector<std::unique_ptr<stream::BufferStream>>& list,
                                  SourceKind kind, const char* successPrefix, const char* name, int32_t loop) {
    IDirectSound* device = host::engineDevice();
    {
        const std::unique_ptr<stream::BufferStream> probe = make();
        if (probe == nullptr || !probe->open(name, true, device)) return Outcome::NotTaken;
    }
    SoundEntry& entry = guardedAt(table_, lastIndex_);
    entry.slot = static_cast<int32_t>(list.size());
    list.push_back(make());
    stream::BufferStream& created = *guardedAt(list, entry.slot);
    if (!created.open(name, false, device)) return Outcome::Failed;
    created.reportEndTo(&ended_);
    created.start(loop);
    logSuccess(successPrefix, name);
    entry.kind = kind;
    return Outcome::Playing;
}

Player::Outcome Player::tryTracker(const char* name) {
    if (!tracker::loadAndStart(name)) return Outcome::NotTaken;
    logSuccess("Success: MOD: ", name);
    guardedAt(table_, lastIndex_).kind = TrackerModule;
    return Outcome::Playing;
}

Player::Outcome Player::tryWindowsMedia(const char* name, int32_t loop) {
    const EventHandle endEvent(CreateEventA(nullptr, TRUE, FALSE, kEndEventName));
    SoundEntry& entry = guardedAt(table_, lastIndex_);
    entry.slot = static_cast<int32_t>(windowsMediaStreams_.size());
    windowsMediaStreams_.push_back(stream::makeWindowsMediaStream());
    stream::WindowsMediaStream& created = *guardedAt(windowsMediaStreams_, entry.slot);
    created.reportEndTo(&ended_);
    const bool started = created.play(name, loop, endEvent.get(), host::engineDevice());
    if (started) WaitForSingleObject(endEvent.get(), kEndEventWaitMs);
    // The stream signals the event at every end of the file; from here on nobody waits
    // on it, and its handle closes.
    created.forgetEndEvent();
    if (!started) return Outcome::Failed;
    logSuccess("Success: WMA/WMV/ASF: ", name);
    entry.kind = WindowsMediaStream;
    return Outcome::Playing;
}

void Player::logSuccess(const char* prefix, const char* name) const {
    if (!log::on()) return;
    const std::string index = std::to_string(lastIndex_);
    log::write({prefix, name, " playing ", "with index: ", index.c_str(), "\n"});
}

std::optional<SoundEntry> Player::resolve(host::fixed index) const {
    const int i = host::toInt(index);
    if (i > lastIndex_) {
        if (log::on()) log::write("Error: Index greater than actual number of sounds\n");
        return std::nullopt;
    }
    if (i < 0) {
        if (log::on()) log::write("Error: Index below zero\n");
        return std::nullopt;
    }
    return guardedAt(table_, i);
}

stream::SoundStream* Player::streamOf(const SoundEntry& entry) {
    switch (entry.kind) {
        case Mp3Stream:
            return guardedAt(mp3Streams_, entry.slot).get();
        case OggStream:
            return guardedAt(oggStreams_, entry.slot).get();
        case WindowsMediaStream:
            return guardedAt(windowsMediaStreams_, entry.slot).get();
        default:
            return nullptr;
    }
}

stream::SoundStream* Player::streamAt(int index) {
    if (index < 0 || index > lastIndex_) return nullptr;
    return streamOf(guardedAt(table_, index));
}

template <class OnTracker, class OnStream>
int32_t Player::control(host::fixed index, OnTracker onTracker, OnStream onStream) {
    releaseEnded();
    const auto entry = resolve(index);
    if (!entry) return 0;
    if (entry->kind == TrackerModule) {
        onTracker();
    } else if (stream::SoundStream* s = streamOf(*entry)) {
        onStream(*s);
    }
    return 1;
}

int32_t Player::stop(host::fixed index) {
    return control(index, [] { tracker::stop(); }, [](stream::SoundStream& s) { s.stop(); });
}

int32_t Player::setVolume(host::fixed index, host::fixed volume) {
    const int v = std::clamp(host::toInt(volume), 0, 100);
    return control(index, [v] { tracker::setVolume(v); }, [v](stream::SoundStream& s) { s.setVolume(v); });
}

int32_t Player::fade(host::fixed index, host::fixed step, bool fadeOut) {
    const int n = host::toInt(step);
    return control(
        index, [=] { tracker::startFade(n, fadeOut); }, [=](stream::SoundStream& s) { s.startFade(n, fadeOut); });
}

int32_t Player::togglePause(host::fixed index) {
    return control(index, [] { tracker::togglePause(); }, [](stream::SoundStream& s) { s.togglePause(); });
}

int32_t Player::isPlaying(host::fixed index) {
    releaseEnded();
    const auto entry = resolve(index);
    if (!entry) return 0;
    if (entry->kind == TrackerModule) return tracker::isActive() ? 1 : 0;
    const stream::SoundStream* s = streamOf(*entry);
    return s != nullptr && s->isPlaying() ? 1 : 0;
}

template <class Action>
void Player::forEachStream(Action action) {
    for (auto& s : mp3Streams_) action(*s);
    for (auto& s : oggStreams_) action(*s);
    for (auto& s : windowsMediaStreams_) action(*s);
}

int32_t Player::stopAll() {
    releaseEnded();
    forEachStream([](stream::SoundStream& s) { s.stop(); });
    tracker::stop();
    cd::stopForStopAll();
    if (log::on()) log::write("Success: All audio stopped.\n");
    return 1;
}

int32_t Player::pauseAll() {
    releaseEnded();
    forEachStream([](stream::SoundStream& s) { s.togglePause(); });
    tracker::togglePause();
    cd::togglePauseForPauseAll();
    if (log::on()) log::write("Success: All audio paused/unpaused.\n");
    return 1;
}

int32_t Player::shutdown() {
    releaseEnded();
    eax::shutdown();
    forEachStream([](stream::SoundStream& s) { s.shutdown(); });
    cd::shutdown();
    tracker::stop();
    if (log::on()) log::write("Success: Shutdown\n");
    return 1;
}

}  // namespace orvox
