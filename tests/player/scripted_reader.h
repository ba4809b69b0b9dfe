// A media reader that a test drives by hand, to reach every path of the Windows Media
// stream: Open reports the opened status with a chosen result (at once, or later from a
// thread of its own), Close reports closed at once, and the test itself plays the reader's
// thread, calling the stream's OnStatus and OnSample.
#pragma once

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <utility>
#include <vector>

#include <plat/dsound.h>
#include <plat/wmsdk.h>

namespace orvox::test {

// The media type of the scripted output: a WAVEFORMATEX block of any length.
class ScriptedProps final : public IWMOutputMediaProps {
public:
    explicit ScriptedProps(std::vector<BYTE> format) : format_(std::move(format)) {}
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
    HRESULT GetType(GUID* type) override {
        *type = WMMEDIATYPE_Audio;
        return S_OK;
    }
    HRESULT GetMediaType(WM_MEDIA_TYPE* type, DWORD* bytes) override {
        const auto needed = static_cast<DWORD>(sizeof(WM_MEDIA_TYPE) + format_.size());
        if (type == nullptr) {
            *bytes = needed;
            return S_OK;
        }
        if (*bytes < needed) return ASF_E_BUFFERTOOSMALL;
        *type = WM_MEDIA_TYPE{WMMEDIATYPE_Audio, WMMEDIASUBTYPE_PCM, TRUE, FALSE, 4, WMFORMAT_WaveFormatEx,
                              nullptr, static_cast<ULONG>(format_.size()), reinterpret_cast<BYTE*>(type + 1)};
        std::memcpy(type->pbFormat, format_.data(), format_.size());
        return S_OK;
    }
    HRESULT SetMediaType(WM_MEDIA_TYPE*) override { return E_NOTIMPL; }
    HRESULT GetStreamGroupName(WCHAR*, WORD*) override { return E_NOTIMPL; }
    HRESULT GetConnectionName(WCHAR*, WORD*) override { return E_NOTIMPL; }

private:
    ~ScriptedProps() = default;
    std::atomic<ULONG> refs_{1};
    std::vector<BYTE> format_;
};

// A WAVEFORMATEX block: PCM, 16 bits, with `extra` bytes after it (cbSize says how many).
inline std::vector<BYTE> pcmFormatBlock(WORD channels, DWORD rate, WORD extra = 0) {
    const WAVEFORMATEX f{WAVE_FORMAT_PCM, channels, rate, rate * channels * 2u, static_cast<WORD>(channels * 2), 16,
                         extra};
    std::vector<BYTE> block(sizeof f + extra);
    std::memcpy(block.data(), &f, sizeof f);
    for (size_t i = sizeof f; i < block.size(); ++i) block[i] = static_cast<BYTE>(i * 7);
    return block;
}

class ScriptedReader final : public IWMReader {
public:
    // What the reader answers.
    HRESULT openCall = S_OK;    // Open's own result
    HRESULT openResult = S_OK;  // carried by the opened status
    HRESULT startCall = S_OK;
    // >= 0: the opened and closed statuses come from threads of their own after this long.
    int delayUs = -1;
    std::vector<BYTE> format = pcmFormatBlock(2, 44100);

    // What it was asked.
    std::atomic<int> opens{0}, starts{0}, stops{0}, pauses{0}, resumes{0}, closes{0};
    IWMReaderCallback* callback = nullptr;

    ~ScriptedReader() {
        if (opener_.joinable()) opener_.join();
        if (closer_.joinable()) closer_.join();
    }
    // No reference left but the test's own (which is not counted).
    bool released() const { return refs_.load() == 0; }

    HRESULT QueryInterface(REFIID, void** object) override {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs_; }
    // Never deletes itself: the test owns it and reads what it was asked.
    ULONG Release() override { return --refs_; }

    HRESULT Open(LPCWSTR, IWMReaderCallback* cb, void*) override {
        ++opens;
        if (FAILED(openCall)) return openCall;
        callback = cb;
        callback->AddRef();
        report(opener_, cb, WMT_OPENED, openResult);
        return S_OK;
    }
    HRESULT Close() override {
        ++closes;
        if (opener_.joinable()) opener_.join();
        if (callback == nullptr) return NS_E_INVALID_REQUEST;
        IWMReaderCallback* cb = std::exchange(callback, nullptr);
        cb->Release();
        report(closer_, cb, WMT_CLOSED, S_OK);
        return S_OK;
    }
    HRESULT GetOutputCount(DWORD* outputs) override {
        *outputs = 1;
        return S_OK;
    }
    HRESULT GetOutputProps(DWORD output, IWMOutputMediaProps** props) override {
        if (output != 0) return E_INVALIDARG;
        *props = new ScriptedProps(format);
        return S_OK;
    }
    HRESULT SetOutputProps(DWORD, IWMOutputMediaProps*) override { return E_NOTIMPL; }
    HRESULT GetOutputFormatCount(DWORD, DWORD*) override { return E_NOTIMPL; }
    HRESULT GetOutputFormat(DWORD, DWORD, IWMOutputMediaProps**) override { return E_NOTIMPL; }
    HRESULT Start(QWORD, QWORD, float, void*) override {
        ++starts;
        return startCall;
    }
    HRESULT Stop() override {
        ++stops;
        return S_OK;
    }
    HRESULT Pause() override {
        ++pauses;
        return S_OK;
    }
    HRESULT Resume() override {
        ++resumes;
        return S_OK;
    }

    // The sample object the test hands to OnSample.
    class Sample final : public INSSBuffer {
    public:
        explicit Sample(std::vector<BYTE> bytes) : bytes_(std::move(bytes)) {}
        HRESULT QueryInterface(REFIID, void** object) override {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        ULONG AddRef() override { return 2; }
        ULONG Release() override { return 1; }
        HRESULT GetLength(DWORD* length) override {
            *length = static_cast<DWORD>(bytes_.size());
            return S_OK;
        }
        HRESULT SetLength(DWORD) override { return E_NOTIMPL; }
        HRESULT GetMaxLength(DWORD* length) override { return GetLength(length); }
        HRESULT GetBuffer(BYTE** buffer) override {
            *buffer = bytes_.data();
            return S_OK;
        }
        HRESULT GetBufferAndLength(BYTE** buffer, DWORD* length) override {
            *buffer = bytes_.data();
            *length = static_cast<DWORD>(bytes_.size());
            return S_OK;
        }

    private:
        std::vector<BYTE> bytes_;
    };

private:
    void report(std::thread& thread, IWMReaderCallback* cb, WMT_STATUS status, HRESULT hr) {
        if (delayUs < 0) {
            cb->OnStatus(status, hr, WMT_TYPE_DWORD, nullptr, nullptr);
            return;
        }
        thread = std::thread([=, this] {
            std::this_thread::sleep_for(std::chrono::microseconds(delayUs));
            cb->OnStatus(status, hr, WMT_TYPE_DWORD, nullptr, nullptr);
        });
    }

    std::atomic<ULONG> refs_{0};
    std::thread opener_;
    std::thread closer_;
};

}  // namespace orvox::test
