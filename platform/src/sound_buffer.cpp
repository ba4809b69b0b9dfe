#include "sound_buffer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "eax_listener.h"
#include "export_failure.h"
#include "export_guard.h"
#include "kernel.h"
#include "mixer.h"
#include "rate_group.h"
#include "sound_device.h"

namespace plat {

namespace {

float attenuationGain(LONG hundredthsOfDb) {
    if (hundredthsOfDb <= DSBVOLUME_MIN) return 0.0f;
    if (hundredthsOfDb >= 0) return 1.0f;
    return static_cast<float>(std::pow(10.0, hundredthsOfDb / 2000.0));
}

}  // namespace

SoundBuffer::SoundBuffer(SoundDevice* device, Mixer& mixer, bool primary, DWORD flags, DWORD bytes,
                         const WAVEFORMATEX* format, EaxListener* eax)
    : device_(device), mixer_(mixer), primary_(primary), flags_(flags), eax_(eax) {
    // What can fail comes first: a constructor that throws leaves nothing held.
    const WAVEFORMATEX stereo16{WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
    keepFormat(format ? *format : stereo16);
    data_.assign(bytes, silenceByte(format_.type));
    locked_.reserve(4);
    if (!primary_) {
        group_ = mixer_.joinGroup(format_.rate);
        try {
            mixer_.add(this);
        } catch (...) {
            mixer_.leaveGroup(group_);
            throw;
        }
    }
    device_->AddRef();
    if (eax_) eax_->voiceCreated();
}

SoundBuffer::~SoundBuffer() {
    if (group_) mixer_.leaveGroup(group_);
    if (eax_) eax_->voiceReleased();
    if (primary_) device_->primaryGone(this);
    device_->Release();
}

bool SoundBuffer::tryAddRef() {
    ULONG n = refs_.load();
    while (n != 0)
        if (refs_.compare_exchange_weak(n, n + 1)) return true;
    return false;
}

HRESULT SoundBuffer::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (riid == IID_IUnknown || riid == IID_IDirectSoundBuffer) {
        *object = static_cast<IDirectSoundBuffer*>(this);
    } else if (riid == IID_IDirectSoundNotify && !primary_ && (flags_ & DSBCAPS_CTRLPOSITIONNOTIFY)) {
        *object = static_cast<IDirectSoundNotify*>(this);
    } else if (riid == IID_IDirectSound3DListener && primary_) {
        *object = static_cast<IDirectSound3DListener*>(this);
    } else if (riid == IID_IDirectSound3DBuffer && !primary_ && (flags_ & DSBCAPS_CTRL3D)) {
        *object = static_cast<IDirectSound3DBuffer*>(this);
    } else if (riid == IID_IKsPropertySet && eax_) {
        *object = static_cast<IKsPropertySet*>(this);
    } else {
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG SoundBuffer::AddRef() { return ++refs_; }

ULONG SoundBuffer::Release() {
    ULONG left = --refs_;
    if (left == 0) {
        // Leaves the mixer first: once remove() returns, no block reads this buffer.
        if (!primary_) mixer_.remove(this);
        delete this;
    }
    return left;
}

HRESULT SoundBuffer::GetCaps(DSBCAPS* caps) {
    if (!caps || caps->dwSize < sizeof(DSBCAPS)) return DSERR_INVALIDPARAM;
    std::lock_guard lock(mutex_);
    caps->dwFlags = flags_ | ((flags_ & DSBCAPS_LOCHARDWARE) ? 0 : DSBCAPS_LOCSOFTWARE);
    caps->dwBufferBytes = static_cast<DWORD>(data_.size());
    caps->dwUnlockTransferRate = 0;
    caps->dwPlayCpuOverhead = 0;
    return DS_OK;
}

HRESULT SoundBuffer::GetCurrentPosition(DWORD* playCursor, DWORD* writeCursor) {
    std::lock_guard lock(mutex_);
    if (primary_) return DSERR_PRIOLEVELNEEDED;
    const DWORD size = static_cast<DWORD>(data_.size());
    const DWORD play = cursor_ * format_.blockAlign;
    if (playCursor) *playCursor = play;
    if (writeCursor) {
        // The mixer reads ahead of the play cursor up to one block plus the filter's reach.
        const uint32_t ahead = readAhead() * format_.blockAlign;
        *writeCursor = size ? static_cast<DWORD>((uint64_t(play) + ahead) % size) : 0;
    }
    return DS_OK;
}

HRESULT SoundBuffer::GetFormat(WAVEFORMATEX* format, DWORD sizeAllocated, DWORD* sizeWritten) {
    if (!format && !sizeWritten) return DSERR_INVALIDPARAM;
    std::lock_guard lock(mutex_);
    const DWORD bytes = static_cast<DWORD>(formatRecordBytes(record_.Format));
    if (format) {
        if (sizeAllocated < bytes) return DSERR_INVALIDPARAM;
        std::memcpy(format, &record_, bytes);
    }
    if (sizeWritten) *sizeWritten = bytes;
    return DS_OK;
}

HRESULT SoundBuffer::GetVolume(LONG* volume) {
    if (!volume) return DSERR_INVALIDPARAM;
    if (!primary_ && !(flags_ & DSBCAPS_CTRLVOLUME)) return DSERR_CONTROLUNAVAIL;
    std::lock_guard lock(mutex_);
    *volume = volume_;
    return DS_OK;
}

HRESULT SoundBuffer::GetPan(LONG* pan) {
    if (!pan) return DSERR_INVALIDPARAM;
    if (!primary_ && !(flags_ & DSBCAPS_CTRLPAN)) return DSERR_CONTROLUNAVAIL;
    std::lock_guard lock(mutex_);
    *pan = pan_;
    return DS_OK;
}

HRESULT SoundBuffer::GetFrequency(DWORD* frequency) {
    if (!frequency) return DSERR_INVALIDPARAM;
    if (primary_ || !(flags_ & DSBCAPS_CTRLFREQUENCY)) return DSERR_CONTROLUNAVAIL;
    std::lock_guard lock(mutex_);
    *frequency = frequency_ ? frequency_ : format_.rate;
    return DS_OK;
}

HRESULT SoundBuffer::GetStatus(DWORD* status) {
    if (!status) return DSERR_INVALIDPARAM;
    std::lock_guard lock(mutex_);
    *status = (playing_ ? DSBSTATUS_PLAYING : 0) | (playing_ && looping_ ? DSBSTATUS_LOOPING : 0) |
              (lost_ ? DSBSTATUS_BUFFERLOST : 0);
    return DS_OK;
}

HRESULT SoundBuffer::Initialize(IDirectSound*, const DSBUFFERDESC*) { return DSERR_ALREADYINITIALIZED; }

HRESULT SoundBuffer::Lock(DWORD offset, DWORD bytes, LPVOID* part1, DWORD* bytes1, LPVOID* part2, DWORD* bytes2,
                          DWORD flags) {
    if (!part1 || !bytes1) return DSERR_INVALIDPARAM;
    if (primary_) return DSERR_PRIOLEVELNEEDED;
    std::lock_guard lock(mutex_);
    if (lost_) return DSERR_BUFFERLOST;
    const DWORD size = static_cast<DWORD>(data_.size());
    if (flags & DSBLOCK_ENTIREBUFFER) bytes = size;
    if (flags & DSBLOCK_FROMWRITECURSOR) {
        const uint32_t ahead = readAhead() * format_.blockAlign;
        offset = static_cast<DWORD>((uint64_t(cursor_) * format_.blockAlign + ahead) % size);
    }
    if (offset >= size || bytes == 0 || bytes > size) return DSERR_INVALIDPARAM;
    DWORD first = std::min(bytes, size - offset);
    *part1 = data_.data() + offset;
    *bytes1 = first;
    DWORD second = bytes - first;
    if (part2) *part2 = second ? data_.data() : nullptr;
    if (bytes2) *bytes2 = second;
    if (second && !(part2 && bytes2)) return DSERR_INVALIDPARAM;
    locked_.push_back({offset, first});
    if (second) locked_.push_back({0, second});
    return DS_OK;
}

HRESULT SoundBuffer::Unlock(LPVOID part1, DWORD bytes1, LPVOID part2, DWORD bytes2) {
    std::lock_guard lock(mutex_);
    auto inside = [&](LPVOID p, DWORD n) {
        if (!p) return n == 0;
        auto* b = static_cast<uint8_t*>(p);
        return b >= data_.data() && b + n <= data_.data() + data_.size();
    };
    if (!inside(part1, bytes1) || !inside(part2, bytes2)) return DSERR_INVALIDPARAM;
    auto release = [&](LPVOID p, DWORD n) {
        if (!p || n == 0) return;
        const auto offset = static_cast<DWORD>(static_cast<uint8_t*>(p) - data_.data());
        const auto span = std::find_if(locked_.begin(), locked_.end(),
                                       [&](const LockedSpan& s) { return s.offset == offset && s.bytes == n; });
        if (span != locked_.end()) locked_.erase(span);
    };
    release(part1, bytes1);
    release(part2, bytes2);
    return DS_OK;
}

HRESULT SoundBuffer::Play(DWORD, DWORD, DWORD flags) {
    std::lock_guard lock(mutex_);
    if (primary_) return DS_OK;
    if (lost_) return DSERR_BUFFERLOST;
    playing_ = true;
    looping_ = (flags & DSBPLAY_LOOPING) != 0;
    return DS_OK;
}

HRESULT SoundBuffer::SetCurrentPosition(DWORD playCursor) {
    if (primary_) return DSERR_INVALIDCALL;
    std::lock_guard lock(mutex_);
    if (playCursor >= data_.size()) return DSERR_INVALIDPARAM;
    cursor_ = playCursor / format_.blockAlign;
    return DS_OK;
}

HRESULT SoundBuffer::SetFormat(const WAVEFORMATEX* format) {
    if (!primary_) return DSERR_INVALIDCALL;
    if (!format) return DSERR_INVALIDPARAM;
    if (!device_->mayWritePrimaryFormat()) return DSERR_PRIOLEVELNEEDED;
    // The primary buffer sets its own block alignment and byte rate from the rest.
    WAVEFORMATEXTENSIBLE record{};
    std::memcpy(&record, format, formatRecordBytes(*format));
    record.Format.nBlockAlign = static_cast<WORD>(format->nChannels * (format->wBitsPerSample / 8));
    record.Format.nAvgBytesPerSec = record.Format.nBlockAlign * format->nSamplesPerSec;
    if (!playableFormat(record.Format)) return DSERR_BADFORMAT;
    {
        std::lock_guard lock(mutex_);
        keepFormat(record.Format);
    }
    mixer_.requestOutputFormat(format->nSamplesPerSec, format->nChannels);
    return DS_OK;
}

void SoundBuffer::keepFormat(const WAVEFORMATEX& record) {
    record_ = WAVEFORMATEXTENSIBLE{};
    std::memcpy(&record_, &record, formatRecordBytes(record));
    if (record.wFormatTag != WAVE_FORMAT_EXTENSIBLE) record_.Format.cbSize = 0;
    format_ = *playableFormat(record_.Format);
}

void SoundBuffer::updateGains() {
    float g = attenuationGain(volume_);
    // Pan attenuates the opposite side, as the sound service's pan law does.
    gainLeft_ = g * (pan_ > 0 ? attenuationGain(-pan_) : 1.0f);
    gainRight_ = g * (pan_ < 0 ? attenuationGain(pan_) : 1.0f);
}

HRESULT SoundBuffer::SetVolume(LONG volume) {
    if (!primary_ && !(flags_ & DSBCAPS_CTRLVOLUME)) return DSERR_CONTROLUNAVAIL;
    if (volume < DSBVOLUME_MIN || volume > DSBVOLUME_MAX) return DSERR_INVALIDPARAM;
    std::lock_guard lock(mutex_);
    volume_ = volume;
    updateGains();
    if (primary_) device_->setMasterGain(attenuationGain(volume));
    return DS_OK;
}

HRESULT SoundBuffer::SetPan(LONG pan) {
    if (!primary_ && !(flags_ & DSBCAPS_CTRLPAN)) return DSERR_CONTROLUNAVAIL;
    if (pan < DSBPAN_LEFT || pan > DSBPAN_RIGHT) return DSERR_INVALIDPARAM;
    std::lock_guard lock(mutex_);
    pan_ = pan;
    updateGains();
    return DS_OK;
}

HRESULT SoundBuffer::SetFrequency(DWORD frequency) {
    return a5::guardExport(failureResult, [&]() -> HRESULT {
        if (primary_ || !(flags_ & DSBCAPS_CTRLFREQUENCY)) return DSERR_CONTROLUNAVAIL;
        if (frequency != DSBFREQUENCY_ORIGINAL &&
            (frequency < DSBFREQUENCY_MIN || frequency > DSBFREQUENCY_MAX))
            return DSERR_INVALIDPARAM;
        // A secondary buffer's format never changes, so its rate is read without the lock,
        // which must not be held while the mixer moves the buffer between groups.
        std::lock_guard order(frequencyMutex_);
        RateGroup* moved = mixer_.moveToRate(group_, frequency ? frequency : format_.rate);
        std::lock_guard lock(mutex_);
        frequency_ = frequency;
        group_ = moved;
        return DS_OK;
    });
}

uint32_t SoundBuffer::readAhead() const {
    // Up to one block past the next, plus the filter's reach.
    return mixer_.blockFrames() * 2 + (group_ ? group_->reach() : 0);
}

void SoundBuffer::fireStopNotifications(std::vector<HANDLE>& out) const {
    for (const auto& n : notifications_)
        if (n.dwOffset == DSBPN_OFFSETSTOP) out.push_back(n.hEventNotify);
}

HRESULT SoundBuffer::Stop() {
    return a5::guardExport(failureResult, [&]() -> HRESULT {
        std::vector<HANDLE> fired;
        {
            std::lock_guard lock(mutex_);
            if (primary_) return DS_OK;
            if (playing_) fireStopNotifications(fired);
            playing_ = false;
        }
        for (HANDLE h : fired) Kernel::instance().setEvent(h);
        return DS_OK;
    });
}

HRESULT SoundBuffer::Restore() {
    std::lock_guard lock(mutex_);
    if (!lost_) return DS_OK;
    if (restoreFailures_ > 0) {
        --restoreFailures_;
        return DSERR_BUFFERLOST;
    }
    lost_ = false;
    // A restored buffer's memory holds nothing useful: its owner must fill it again.
    std::fill(data_.begin(), data_.end(), silenceByte(format_.type));
    return DS_OK;
}

void SoundBuffer::markLost(unsigned restoreFailures) {
    std::vector<HANDLE> fired;
    {
        std::lock_guard lock(mutex_);
        if (primary_) return;
        if (playing_) fireStopNotifications(fired);
        lost_ = true;
        playing_ = false;
        restoreFailures_ = restoreFailures;
    }
    for (HANDLE h : fired) Kernel::instance().setEvent(h);
}

HRESULT SoundBuffer::SetNotificationPositions(DWORD count, const DSBPOSITIONNOTIFY* positions) {
    return a5::guardExport(failureResult, [&]() -> HRESULT {
        if (count > 0 && !positions) return DSERR_INVALIDPARAM;
        std::lock_guard lock(mutex_);
        if (playing_) return DSERR_INVALIDCALL;
        for (DWORD i = 0; i < count; ++i)
            if (positions[i].dwOffset != DSBPN_OFFSETSTOP && positions[i].dwOffset >= data_.size())
                return DSERR_INVALIDPARAM;
        notifications_.assign(positions, positions + count);
        return DS_OK;
    });
}

void SoundBuffer::addFrames(uint32_t from, uint32_t count, float gainLeft, float gainRight, float* left,
                            float* right, const MixKernels& kernels) const {
    const uint32_t total = frameCount();
    while (count > 0) {
        if (from >= total) {
            if (!looping_) return;
            from %= total;
        }
        // A stretch under a lock adds nothing: it plays as silence until Unlock.
        bool locked = false;
        const uint32_t span = std::min(count, total - from);
        const uint32_t run = locked_.empty() ? span : lockRun(from, span, locked);
        if (!locked)
            kernels.addFrames(data_.data() + size_t(from) * format_.blockAlign, format_.type, format_.channels, run,
                              gainLeft, gainRight, left, right);
        left += run;
        right += run;
        from += run;
        count -= run;
    }
}

uint32_t SoundBuffer::lockRun(uint32_t from, uint32_t count, bool& locked) const {
    const uint32_t align = format_.blockAlign;
    uint32_t end = from + count;
    locked = false;
    for (const LockedSpan& s : locked_) {
        // The frames the span touches, also in part.
        const uint32_t first = s.offset / align;
        const uint32_t last = static_cast<uint32_t>((uint64_t(s.offset) + s.bytes + align - 1) / align);
        if (first <= from && from < last) {
            locked = true;
            end = std::min(end, last);
        } else if (from < first) {
            end = std::min(end, first);
        }
    }
    return end - from;
}

void SoundBuffer::stopLocked(std::vector<HANDLE>& fired) {
    if (playing_) fireStopNotifications(fired);
    playing_ = false;
}

void SoundBuffer::mixInto(const MixPass& pass, float masterGain) {
    std::lock_guard lock(mutex_);
    const uint32_t total = frameCount();
    if (!playing_ || lost_ || total == 0) return;

    const float gl = gainLeft_ * masterGain, gr = gainRight_ * masterGain;
    const bool heard = gl != 0.0f || gr != 0.0f;
    const uint32_t start = cursor_;
    uint32_t consumed;
    if (!group_->filter()) {
        // The output's rate: frame for frame. One buffer at full volume passes through bit
        // for bit.
        consumed = pass.frames;
        if (!looping_ && start + consumed > total) consumed = total - start;
        if (heard && pass.right) {
            addFrames(start, consumed, gl, gr, pass.left, pass.right, pass.kernels);
        } else if (heard) {
            std::fill_n(pass.scratchLeft, consumed, 0.0f);
            std::fill_n(pass.scratchRight, consumed, 0.0f);
            addFrames(start, consumed, gl, gr, pass.scratchLeft, pass.scratchRight, pass.kernels);
            for (uint32_t i = 0; i < consumed; ++i) pass.left[i] += 0.5f * (pass.scratchLeft[i] + pass.scratchRight[i]);
        }
    } else {
        const RateGroup::MemberInput input = group_->memberInput(pass.number, pass.frames);
        consumed = input.consumed;
        if (heard) addFrames(start, input.span, gl, gr, input.left, input.right, pass.kernels);
        if (!looping_ && start + consumed >= total) consumed = total - start;
    }

    // Advance the cursor and collect the notifications it passed.
    const uint64_t size = uint64_t(total) * format_.blockAlign;
    const uint64_t startByte = uint64_t(start) * format_.blockAlign;
    const uint64_t movedBytes = uint64_t(consumed) * format_.blockAlign;
    for (const auto& n : notifications_) {
        if (n.dwOffset == DSBPN_OFFSETSTOP) continue;
        uint64_t distance = n.dwOffset >= startByte ? n.dwOffset - startByte : n.dwOffset + size - startByte;
        if (distance < movedBytes || movedBytes >= size) pass.fired.push_back(n.hEventNotify);
    }
    if (looping_) {
        cursor_ = static_cast<uint32_t>((uint64_t(start) + consumed) % total);
    } else if (start + consumed >= total) {
        cursor_ = 0;
        stopLocked(pass.fired);
    } else {
        cursor_ = start + consumed;
    }
}


HRESULT SoundBuffer::Get(REFGUID set, ULONG id, LPVOID, ULONG, LPVOID data, ULONG dataLength, ULONG* bytesReturned) {
    if (bytesReturned) *bytesReturned = 0;
    return eax_ ? eax_->get(set, id, data, dataLength, bytesReturned) : E_NOINTERFACE;
}

HRESULT SoundBuffer::Set(REFGUID set, ULONG id, LPVOID, ULONG, LPVOID data, ULONG dataLength) {
    return eax_ ? eax_->set(set, id, data, dataLength) : E_NOINTERFACE;
}

HRESULT SoundBuffer::QuerySupport(REFGUID set, ULONG id, ULONG* support) {
    return eax_ ? eax_->querySupport(set, id, support) : E_NOINTERFACE;
}

}  // namespace plat
