// In-memory stand-ins for a sound device and a secondary buffer, whose cursor, status and
// failures the test sets by hand and whose calls it can inspect.
#pragma once

#include <plat/dsound.h>

#include <cstddef>
#include <cstring>
#include <vector>

namespace wavtest {

class FakeBuffer final : public IDirectSoundBuffer, public IDirectSoundNotify {
  public:
    explicit FakeBuffer(DWORD size) : data(size, std::byte{0x55}) {}

    // State the test reads and sets.
    std::vector<std::byte> data;
    DWORD cursor = 0;
    bool playing = false;
    bool lost = false;
    int restoreLostFailures = 0;  // Restore answers DSERR_BUFFERLOST this many times
    HRESULT otherFailure = E_FAIL;
    int restoreOtherFailures = 0;  // then `otherFailure` this many times
    int restoreCalls = 0;
    int stopCalls = 0;
    int lockedRegions = 0;
    LONG attenuation = 0;
    WAVEFORMATEX primaryFormat{};
    HRESULT setFormatResult = S_OK;
    std::vector<DSBPOSITIONNOTIFY> notifications;

    HRESULT QueryInterface(REFIID iid, void** object) override {
        if (iid == IID_IDirectSoundNotify) {
            *object = static_cast<IDirectSoundNotify*>(this);
        } else if (iid == IID_IDirectSoundBuffer || iid == IID_IUnknown) {
            *object = static_cast<IDirectSoundBuffer*>(this);
        } else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

    HRESULT GetCaps(DSBCAPS*) override { return E_NOTIMPL; }
    HRESULT GetCurrentPosition(DWORD* play, DWORD* write) override {
        if (play != nullptr) *play = cursor;
        if (write != nullptr) *write = cursor;
        return S_OK;
    }
    HRESULT GetFormat(WAVEFORMATEX*, DWORD, DWORD*) override { return E_NOTIMPL; }
    HRESULT GetVolume(LONG* volume) override {
        *volume = attenuation;
        return S_OK;
    }
    HRESULT GetPan(LONG*) override { return E_NOTIMPL; }
    HRESULT GetFrequency(DWORD*) override { return E_NOTIMPL; }
    HRESULT GetStatus(DWORD* status) override {
        *status = (playing ? DSBSTATUS_PLAYING : 0) | (lost ? DSBSTATUS_BUFFERLOST : 0);
        return S_OK;
    }
    HRESULT Initialize(IDirectSound*, const DSBUFFERDESC*) override { return E_NOTIMPL; }
    HRESULT Lock(DWORD offset, DWORD bytes, LPVOID* part1, DWORD* bytes1, LPVOID* part2, DWORD* bytes2,
                 DWORD) override {
        if (lost) return DSERR_BUFFERLOST;
        if (offset >= data.size() || bytes > data.size()) return DSERR_INVALIDPARAM;
        const DWORD first = std::min<DWORD>(bytes, static_cast<DWORD>(data.size()) - offset);
        *part1 = data.data() + offset;
        *bytes1 = first;
        *part2 = first < bytes ? data.data() : nullptr;
        *bytes2 = bytes - first;
        ++lockedRegions;
        return S_OK;
    }
    HRESULT Play(DWORD, DWORD, DWORD) override {
        if (lost) return DSERR_BUFFERLOST;
        playing = true;
        return S_OK;
    }
    HRESULT SetCurrentPosition(DWORD position) override {
        cursor = position;
        return S_OK;
    }
    HRESULT SetFormat(const WAVEFORMATEX* format) override {
        primaryFormat = *format;
        return setFormatResult;
    }
    HRESULT SetVolume(LONG volume) override {
        if (volume < DSBVOLUME_MIN || volume > DSBVOLUME_MAX) return DSERR_INVALIDPARAM;
        attenuation = volume;
        return S_OK;
    }
    HRESULT SetPan(LONG) override { return E_NOTIMPL; }
    HRESULT SetFrequency(DWORD) override { return E_NOTIMPL; }
    HRESULT Stop() override {
        playing = false;
        ++stopCalls;
        return S_OK;
    }
    HRESULT Unlock(LPVOID, DWORD, LPVOID, DWORD) override {
        --lockedRegions;
        return S_OK;
    }
    HRESULT Restore() override {
        ++restoreCalls;
        if (restoreLostFailures > 0) {
            --restoreLostFailures;
            return DSERR_BUFFERLOST;
        }
        if (restoreOtherFailures > 0) {
            --restoreOtherFailures;
            return otherFailure;
        }
        lost = false;
        return S_OK;
    }
    HRESULT SetNotificationPositions(DWORD count, const DSBPOSITIONNOTIFY* positions) override {
        notifications.assign(positions, positions + count);
        return S_OK;
    }

  private:
    ~FakeBuffer() = default;
    ULONG refs_ = 1;
};

class FakeDevice final : public IDirectSound8 {
  public:
    // What the last CreateSoundBuffer was given, and the buffer it made (one reference kept).
    DSBUFFERDESC lastDesc{};
    std::vector<std::byte> lastFormat;
    FakeBuffer* lastBuffer = nullptr;
    HRESULT createResult = S_OK;

    HRESULT QueryInterface(REFIID, void** object) override {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }
    HRESULT CreateSoundBuffer(const DSBUFFERDESC* desc, IDirectSoundBuffer** buffer, IUnknown*) override {
        lastDesc = *desc;
        lastFormat.clear();
        if (desc->lpwfxFormat != nullptr) {
            lastFormat.resize(sizeof(WAVEFORMATEX) + desc->lpwfxFormat->cbSize);
            std::memcpy(lastFormat.data(), desc->lpwfxFormat, lastFormat.size());
        }
        if (FAILED(createResult)) return createResult;
        if (lastBuffer != nullptr) lastBuffer->Release();
        lastBuffer = new FakeBuffer(desc->dwBufferBytes);
        lastBuffer->AddRef();
        *buffer = lastBuffer;
        return S_OK;
    }
    HRESULT GetCaps(DSCAPS*) override { return E_NOTIMPL; }
    HRESULT DuplicateSoundBuffer(IDirectSoundBuffer*, IDirectSoundBuffer**) override { return E_NOTIMPL; }
    HRESULT SetCooperativeLevel(HWND, DWORD) override { return S_OK; }
    HRESULT Compact() override { return E_NOTIMPL; }
    HRESULT GetSpeakerConfig(DWORD*) override { return E_NOTIMPL; }
    HRESULT SetSpeakerConfig(DWORD) override { return E_NOTIMPL; }
    HRESULT Initialize(const GUID*) override { return E_NOTIMPL; }
    HRESULT VerifyCertification(DWORD*) override { return E_NOTIMPL; }

  private:
    ~FakeDevice() {
        if (lastBuffer != nullptr) lastBuffer->Release();
    }
    ULONG refs_ = 1;
};

}  // namespace wavtest
