#include "song_device.h"

#include <cstdint>
#include <limits>
#include <new>
#include <vector>

namespace wavestream {

HRESULT SongDevice::initialize(HWND window, DWORD cooperativeLevel, WORD channels, DWORD samplesPerSec,
                               WORD bitsPerSample) {
    device_.reset();
    if (const HRESULT hr = DirectSoundCreate8(nullptr, device_.put(), nullptr); FAILED(hr)) return hr;
    if (const HRESULT hr = device_->SetCooperativeLevel(window, cooperativeLevel); FAILED(hr)) return hr;
    return setPrimaryFormat(channels, samplesPerSec, bitsPerSample);
}

HRESULT SongDevice::setPrimaryFormat(WORD channels, DWORD samplesPerSec, WORD bitsPerSample) {
    if (!device_) return CO_E_NOTINITIALIZED;
    DSBUFFERDESC desc{};
    desc.dwSize = DSBUFFERDESC_SIZE_32;
    desc.dwFlags = DSBCAPS_PRIMARYBUFFER;
    ComPtr<IDirectSoundBuffer> primary;
    if (const HRESULT hr = device_->CreateSoundBuffer(&desc, primary.put(), nullptr); FAILED(hr)) return hr;
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = channels;
    format.nSamplesPerSec = samplesPerSec;
    format.wBitsPerSample = bitsPerSample;
    format.nBlockAlign = static_cast<WORD>(bitsPerSample / 8 * channels);
    format.nAvgBytesPerSec = samplesPerSec * format.nBlockAlign;
    return primary->SetFormat(&format);
}

HRESULT SongDevice::createStream(const char* name, DWORD flags, const GUID& algorithm3D, DWORD notifyCount,
                                 DWORD notifySize, HANDLE event, ResourceLookup resources,
                                 std::unique_ptr<SongStream>& stream) {
    if (!device_) return CO_E_NOTINITIALIZED;
    if (name == nullptr || event == nullptr) return E_INVALIDARG;
    const std::uint64_t bufferBytes = std::uint64_t(notifyCount) * notifySize;
    if (notifyCount == 0 || notifySize == 0 || bufferBytes > std::numeric_limits<DWORD>::max())
        return E_INVALIDARG;

    auto reader = std::make_unique<WavReader>();
    if (const HRESULT hr = reader->open(name, resources); FAILED(hr)) return hr;

    DSBUFFERDESC desc{};
    desc.dwSize = DSBUFFERDESC_SIZE_32;
    desc.dwFlags = flags | DSBCAPS_CTRLPOSITIONNOTIFY | DSBCAPS_GETCURRENTPOSITION2;
    desc.dwBufferBytes = static_cast<DWORD>(bufferBytes);
    // The buffer only reads the format.
    desc.lpwfxFormat = const_cast<WAVEFORMATEX*>(reader->format());
    desc.guid3DAlgorithm = algorithm3D;
    ComPtr<IDirectSoundBuffer> buffer;
    if (const HRESULT hr = device_->CreateSoundBuffer(&desc, buffer.put(), nullptr); FAILED(hr)) return hr;

    ComPtr<IDirectSoundNotify> notify;
    if (const HRESULT hr =
            buffer->QueryInterface(IID_IDirectSoundNotify, reinterpret_cast<void**>(notify.put()));
        FAILED(hr)) {
        return hr;
    }
    std::vector<DSBPOSITIONNOTIFY> positions;
    try {
        positions.resize(notifyCount);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    // The last byte of each block.
    for (DWORD i = 0; i < notifyCount; ++i) positions[i] = {notifySize * (i + 1) - 1, event};
    if (const HRESULT hr = notify->SetNotificationPositions(notifyCount, positions.data()); FAILED(hr))
        return hr;
    notify.reset();

    stream =
        std::make_unique<SongStream>(std::move(buffer), desc.dwBufferBytes, std::move(reader), notifySize);
    return S_OK;
}

}  // namespace wavestream
