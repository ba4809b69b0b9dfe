#include "cd_playback.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "cd_disc.h"
#include <plat/mmsystem.h>
#include <plat/winbase.h>

namespace plat {

namespace {

constexpr uint32_t kRingFrames = 65536;  // 1.5 s: a late tick or a slow read still finds audio queued
constexpr DWORD kRingBytes = kRingFrames * 4;
constexpr UINT kRefillPeriodMs = 20;
// What a play writes before it starts the ring: more than a refill period ahead.
constexpr uint64_t kPrefillFrames = 8 * kFramesPerSector;
constexpr uint32_t kReadSectors = 32;  // the most one disc read asks for

// The line's value as the buffer's attenuation: linear in amplitude, 65535 is 0 dB.
LONG attenuationOf(DWORD value) {
    if (value == 0) return DSBVOLUME_MIN;
    const double db100 = 2000.0 * std::log10(double(value) / AudioMixerDevice::kMaximum);
    return std::max(DSBVOLUME_MIN, static_cast<LONG>(std::lround(db100)));
}

}  // namespace

CdPlayback::CdPlayback(CdDisc& disc) : disc_(disc), sectors_(size_t{kReadSectors} * kFramesPerSector * 2) {}

std::unique_ptr<CdPlayback> CdPlayback::create(CdDisc& disc) {
    std::unique_ptr<CdPlayback> p(new CdPlayback(disc));
    if (FAILED(DirectSoundCreate(nullptr, p->device_.put(), nullptr))) return nullptr;
    WAVEFORMATEX format{WAVE_FORMAT_PCM, 2, 44100, 44100 * 4, 4, 16, 0};
    DSBUFFERDESC desc{};
    desc.dwSize = sizeof desc;
    desc.dwFlags = DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLPAN | DSBCAPS_GETCURRENTPOSITION2 | DSBCAPS_GLOBALFOCUS;
    desc.dwBufferBytes = kRingBytes;
    desc.lpwfxFormat = &format;
    if (FAILED(p->device_->CreateSoundBuffer(&desc, p->buffer_.put(), nullptr))) return nullptr;
    p->position_ = int64_t{disc.trackStart(disc.firstTrack())} * kFramesPerSector;
    p->timer_ = timeSetEvent(kRefillPeriodMs, 5, &CdPlayback::tick, reinterpret_cast<DWORD_PTR>(p.get()),
                             TIME_PERIODIC);
    if (p->timer_ == 0) return nullptr;
    AudioMixerDevice::instance().setCdListener(p.get());
    return p;
}

CdPlayback::~CdPlayback() {
    // No tick and no volume change reaches the object after these two calls.
    if (timer_ != 0) timeKillEvent(timer_);
    AudioMixerDevice::instance().setCdListener(nullptr);
    std::lock_guard lock(mutex_);
    if (buffer_) buffer_->Stop();
    noticeLocked(MCI_NOTIFY_ABORTED);
}

void CdPlayback::tick(UINT, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
    auto* self = reinterpret_cast<CdPlayback*>(user);
    std::lock_guard lock(self->mutex_);
    self->syncLocked();
    if (self->playing_ && !self->fillLocked(kRingFrames)) {
        self->stopRunLocked(self->runStart_ + static_cast<int64_t>(self->consumed_), MCI_NOTIFY_FAILURE);
    }
}

void CdPlayback::noticeLocked(WPARAM result) {
    if (notice_.window != nullptr) PostMessageA(notice_.window, MM_MCINOTIFY, result, notice_.device);
    notice_ = Notice{};
}

void CdPlayback::stopRunLocked(int64_t at, WPARAM result) {
    buffer_->Stop();
    playing_ = false;
    position_ = std::min(at, runEnd_);
    noticeLocked(result);
}

void CdPlayback::syncLocked() {
    if (!playing_) return;
    DWORD status = 0;
    buffer_->GetStatus(&status);
    if ((status & DSBSTATUS_BUFFERLOST) != 0) {
        // The ring's contents are gone: go on from what was heard, in a restored ring.
        const int64_t at = runStart_ + static_cast<int64_t>(std::min<uint64_t>(consumed_, runEnd_ - runStart_));
        if (FAILED(buffer_->Restore())) return;  // the next tick tries again
        runStart_ = at;
        queued_ = consumed_ = 0;
        if (startRingLocked() != 0) stopRunLocked(at, MCI_NOTIFY_FAILURE);
        return;
    }
    DWORD play = 0;
    if (FAILED(buffer_->GetCurrentPosition(&play, nullptr))) return;
    consumed_ += ((play + kRingBytes - lastCursor_) % kRingBytes) / 4;
    lastCursor_ = play;
    if (consumed_ >= static_cast<uint64_t>(runEnd_ - runStart_)) stopRunLocked(runEnd_, MCI_NOTIFY_SUCCESSFUL);
}

bool CdPlayback::writeRing(uint8_t* part, DWORD bytes) {
    auto* out = reinterpret_cast<int16_t*>(part);
    uint64_t frames = bytes / 4;
    while (frames > 0) {
        const int64_t at = runStart_ + static_cast<int64_t>(queued_);
        if (at >= runEnd_) {
            std::memset(out, 0, frames * 4);
            queued_ += frames;
            return true;
        }
        const auto sector = static_cast<int32_t>(at / kFramesPerSector);
        const auto skip = static_cast<uint32_t>(at % kFramesPerSector);
        const uint64_t wanted = std::min<uint64_t>(frames, static_cast<uint64_t>(runEnd_ - at));
        const auto count = static_cast<uint32_t>(
            std::min<uint64_t>(kReadSectors, (skip + wanted + kFramesPerSector - 1) / kFramesPerSector));
        const uint64_t take = std::min<uint64_t>(wanted, uint64_t{count} * kFramesPerSector - skip);
        if (!disc_.read(sector, count, sectors_.data())) return false;
        std::memcpy(out, sectors_.data() + size_t{skip} * 2, take * 4);
        out += take * 2;
        frames -= take;
        queued_ += take;
    }
    return true;
}

bool CdPlayback::fillLocked(uint64_t limit) {
    const uint64_t unplayed = queued_ > consumed_ ? queued_ - consumed_ : 0;
    if (queued_ < consumed_) queued_ = consumed_;  // the mixer overtook the refill
    const uint64_t room = std::min<uint64_t>(limit, kRingFrames - unplayed);
    if (room == 0) return true;
    const auto offset = static_cast<DWORD>((queued_ % kRingFrames) * 4);
    void* part1 = nullptr;
    void* part2 = nullptr;
    DWORD bytes1 = 0;
    DWORD bytes2 = 0;
    if (FAILED(buffer_->Lock(offset, static_cast<DWORD>(room * 4), &part1, &bytes1, &part2, &bytes2, 0))) {
        return true;  // a lost buffer is restored at the next count
    }
    const bool read = writeRing(static_cast<uint8_t*>(part1), bytes1) &&
                      (part2 == nullptr || writeRing(static_cast<uint8_t*>(part2), bytes2));
    buffer_->Unlock(part1, bytes1, part2, bytes2);
    return read;
}

MCIERROR CdPlayback::startRingLocked() {
    buffer_->SetCurrentPosition(0);
    lastCursor_ = 0;
    if (!fillLocked(kPrefillFrames)) return MCIERR_HARDWARE;
    if (FAILED(buffer_->Play(0, 0, DSBPLAY_LOOPING))) return MCIERR_HARDWARE;
    playing_ = true;
    return 0;
}

MCIERROR CdPlayback::play(int64_t from, int64_t to, Notice notice) {
    std::lock_guard lock(mutex_);
    if (playing_) {
        buffer_->Stop();
        playing_ = false;
    }
    noticeLocked(MCI_NOTIFY_SUPERSEDED);
    position_ = from;
    if (from >= to) {
        notice_ = notice;
        noticeLocked(MCI_NOTIFY_SUCCESSFUL);
        return 0;
    }
    runStart_ = from;
    runEnd_ = to;
    queued_ = consumed_ = 0;
    const MCIERROR error = startRingLocked();
    if (error != 0) {
        buffer_->Stop();
        playing_ = false;
        return error;
    }
    notice_ = notice;
    return 0;
}

void CdPlayback::halt() {
    std::lock_guard lock(mutex_);
    if (playing_) {
        buffer_->Stop();  // the cursor stands still from here: the count below is exact
        syncLocked();
        if (playing_) stopRunLocked(runStart_ + static_cast<int64_t>(consumed_), MCI_NOTIFY_ABORTED);
    }
    noticeLocked(MCI_NOTIFY_ABORTED);
}

void CdPlayback::seek(int64_t frame) {
    halt();
    std::lock_guard lock(mutex_);
    position_ = frame;
}

int64_t CdPlayback::position() {
    std::lock_guard lock(mutex_);
    syncLocked();
    if (!playing_) return position_;
    return runStart_ + static_cast<int64_t>(consumed_);
}

bool CdPlayback::playing() {
    std::lock_guard lock(mutex_);
    syncLocked();
    return playing_;
}

void CdPlayback::abortNotice(MCIDEVICEID device) {
    std::lock_guard lock(mutex_);
    if (notice_.device == device) noticeLocked(MCI_NOTIFY_ABORTED);
}

void CdPlayback::cdLineVolume(DWORD left, DWORD right) {
    const LONG l = attenuationOf(left);
    const LONG r = attenuationOf(right);
    // The louder side sets the volume; the pan takes the other side down to its level.
    LONG pan = std::clamp(r - l, DSBPAN_LEFT, DSBPAN_RIGHT);
    if (right == 0 && left != 0) pan = DSBPAN_LEFT;
    if (left == 0 && right != 0) pan = DSBPAN_RIGHT;
    buffer_->SetVolume(std::max(l, r));
    buffer_->SetPan(pan);
}

}  // namespace plat
