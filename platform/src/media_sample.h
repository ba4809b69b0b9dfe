// The sample object the media reader hands to OnSample: a fixed-size block of PCM. The
// reader reuses one object for every delivery unless the callback kept a reference to it.
#pragma once

#include <vector>

#include "com_object.h"
#include <plat/wmsdk.h>

namespace plat {

class MediaSample final : public ComObject<MediaSample, INSSBuffer, IID_IUnknown, IID_INSSBuffer> {
public:
    explicit MediaSample(DWORD capacity) : bytes_(capacity) {}

    HRESULT GetLength(DWORD* length) override {
        if (length == nullptr) return E_POINTER;
        *length = length_;
        return S_OK;
    }
    HRESULT SetLength(DWORD length) override {
        if (length > bytes_.size()) return E_INVALIDARG;
        length_ = length;
        return S_OK;
    }
    HRESULT GetMaxLength(DWORD* length) override {
        if (length == nullptr) return E_POINTER;
        *length = static_cast<DWORD>(bytes_.size());
        return S_OK;
    }
    HRESULT GetBuffer(BYTE** buffer) override {
        if (buffer == nullptr) return E_POINTER;
        *buffer = bytes_.data();
        return S_OK;
    }
    HRESULT GetBufferAndLength(BYTE** buffer, DWORD* length) override {
        if (buffer == nullptr || length == nullptr) return E_POINTER;
        *buffer = bytes_.data();
        *length = length_;
        return S_OK;
    }

    // True while someone besides the reader holds the sample.
    bool shared() const { return references() > 1; }
    BYTE* data() { return bytes_.data(); }

private:
    friend Base;
    ~MediaSample() = default;

    std::vector<BYTE> bytes_;
    DWORD length_ = 0;
};

}  // namespace plat
