// A sound device for tests that stands between the player and the platform's device: its
// buffers forward to real ones, count what the player does with them, can be told to fail
// Play or some Locks, and catch any call made on a buffer after its owner released it.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include <plat/dsound.h>

namespace orvox::test {

class TrackedBuffer final : public IDirectSoundBuffer {
public:
    explicit TrackedBuffer(IDirectSoundBuffer* real) : real_(real) {}
    ~TrackedBuffer() = default;

    bool released() const { return refs_.load() == 0; }
    int callsAfterRelease() const { return callsAfterRelease_.load(); }
    int locks() const { return locks_.load(); }
    void failPlay(bool fail) { failPlay_.store(fail); }
    // The next `count` Locks fail.
    void refuseLocks(int count) { refusedLocks_.store(count); }
    int locksStillToRefuse() const { return refusedLocks_.load(); }

    HRESULT QueryInterface(REFIID, void** object) override {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return live() ? ++refs_ : 0; }
    ULONG Release() override {
        if (!live()) return 0;
        const ULONG left = --refs_;
        if (left == 0) real_->Release();
        return left;
    }
    HRESULT GetCaps(DSBCAPS* caps) override { return live() ? real_->GetCaps(caps) : kGone; }
    HRESULT GetCurrentPosition(DWORD* play, DWORD* write) override {
        return live() ? real_->GetCurrentPosition(play, write) : kGone;
    }
    HRESULT GetFormat(WAVEFORMATEX* f, DWORD size, DWORD* written) override {
        return live() ? real_->GetFormat(f, size, written) : kGone;
    }
    HRESULT GetVolume(LONG* volume) override { return live() ? real_->GetVolume(volume) : kGone; }
    HRESULT GetPan(LONG* pan) override { return live() ? real_->GetPan(pan) : kGone; }
    HRESULT GetFrequency(DWORD* frequency) override { return live() ? real_->GetFrequency(frequency) : kGone; }
    HRESULT GetStatus(DWORD* status) override { return live() ? real_->GetStatus(status) : kGone; }
    HRESULT Initialize(IDirectSound* device, const DSBUFFERDESC* desc) override {
        return live() ? real_->Initialize(device, desc) : kGone;
    }
    HRESULT Lock(DWORD offset, DWORD bytes, LPVOID* p1, DWORD* b1, LPVOID* p2, DWORD* b2, DWORD flags) override {
        if (!live()) return kGone;
        ++locks_;
        if (refusedLocks_.load() > 0) {
            --refusedLocks_;
            return DSERR_GENERIC;
        }
        return real_->Lock(offset, bytes, p1, b1, p2, b2, flags);
    }
    HRESULT Play(DWORD reserved, DWORD priority, DWORD flags) override {
        if (!live()) return kGone;
        return failPlay_.load() ? DSERR_GENERIC : real_->Play(reserved, priority, flags);
    }
    HRESULT SetCurrentPosition(DWORD position) override {
        return live() ? real_->SetCurrentPosition(position) : kGone;
    }
    HRESULT SetFormat(const WAVEFORMATEX* f) override { return live() ? real_->SetFormat(f) : kGone; }
    HRESULT SetVolume(LONG volume) override { return live() ? real_->SetVolume(volume) : kGone; }
    HRESULT SetPan(LONG pan) override { return live() ? real_->SetPan(pan) : kGone; }
    HRESULT SetFrequency(DWORD frequency) override { return live() ? real_->SetFrequency(frequency) : kGone; }
    HRESULT Stop() override { return live() ? real_->Stop() : kGone; }
    HRESULT Unlock(LPVOID p1, DWORD b1, LPVOID p2, DWORD b2) override {
        return live() ? real_->Unlock(p1, b1, p2, b2) : kGone;
    }
    HRESULT Restore() override { return live() ? real_->Restore() : kGone; }

    IDirectSoundBuffer* real() const { return real_; }

private:
    static constexpr HRESULT kGone = DSERR_INVALIDCALL;
    bool live() {
        if (refs_.load() != 0) return true;
        ++callsAfterRelease_;
        return false;
    }

    IDirectSoundBuffer* real_;
    std::atomic<ULONG> refs_{1};
    std::atomic<int> callsAfterRelease_{0};
    std::atomic<int> locks_{0};
    std::atomic<int> refusedLocks_{0};
    std::atomic<bool> failPlay_{false};
};

class RecordingDevice final : public IDirectSound {
public:
    explicit RecordingDevice(IDirectSound* real) : real_(real) {}
    ~RecordingDevice() = default;

    // Every buffer made so far, in order; they stay allocated until the device goes.
    std::vector<TrackedBuffer*> buffers() {
        std::lock_guard<std::mutex> guard(mutex_);
        std::vector<TrackedBuffer*> all;
        for (auto& b : buffers_) all.push_back(b.get());
        return all;
    }
    // Buffers made from now on answer Play with a failure.
    void failPlayOfNewBuffers(bool fail) { failPlay_ = fail; }
    TrackedBuffer* last() {
        std::lock_guard<std::mutex> guard(mutex_);
        return buffers_.empty() ? nullptr : buffers_.back().get();
    }

    HRESULT QueryInterface(REFIID, void** object) override {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 1; }
    HRESULT CreateSoundBuffer(const DSBUFFERDESC* desc, IDirectSoundBuffer** buffer, IUnknown* outer) override {
        IDirectSoundBuffer* real = nullptr;
        const HRESULT hr = real_->CreateSoundBuffer(desc, &real, outer);
        if (FAILED(hr)) return hr;
        std::lock_guard<std::mutex> guard(mutex_);
        buffers_.push_back(std::make_unique<TrackedBuffer>(real));
        buffers_.back()->failPlay(failPlay_);
        *buffer = buffers_.back().get();
        return hr;
    }
    HRESULT GetCaps(DSCAPS* caps) override { return real_->GetCaps(caps); }
    HRESULT DuplicateSoundBuffer(IDirectSoundBuffer*, IDirectSoundBuffer**) override { return DSERR_UNSUPPORTED; }
    HRESULT SetCooperativeLevel(HWND window, DWORD level) override { return real_->SetCooperativeLevel(window, level); }
    HRESULT Compact() override { return real_->Compact(); }
    HRESULT GetSpeakerConfig(DWORD* config) override { return real_->GetSpeakerConfig(config); }
    HRESULT SetSpeakerConfig(DWORD config) override { return real_->SetSpeakerConfig(config); }
    HRESULT Initialize(const GUID* device) override { return real_->Initialize(device); }

private:
    IDirectSound* real_;
    std::mutex mutex_;
    bool failPlay_ = false;
    std::vector<std::unique_ptr<TrackedBuffer>> buffers_;
};

}  // namespace orvox::test
