#include "media_output_props.h"

#include <cstring>

namespace plat {

namespace {

// The names of an output: empty, as for a file's single audio output.
HRESULT emptyName(WCHAR* name, WORD* chars) {
    if (chars == nullptr) return E_POINTER;
    if (name == nullptr) {
        *chars = 1;
        return S_OK;
    }
    if (*chars < 1) return ASF_E_BUFFERTOOSMALL;
    name[0] = 0;
    *chars = 1;
    return S_OK;
}

}  // namespace

WAVEFORMATEX pcmOutputFormat(uint32_t rate, uint16_t channels) {
    const auto blockAlign = static_cast<WORD>(channels * 2);
    return WAVEFORMATEX{WAVE_FORMAT_PCM, channels, rate, rate * blockAlign, blockAlign, 16, 0};
}

HRESULT MediaOutputProps::GetType(GUID* type) {
    if (type == nullptr) return E_POINTER;
    *type = WMMEDIATYPE_Audio;
    return S_OK;
}

HRESULT MediaOutputProps::GetMediaType(WM_MEDIA_TYPE* type, DWORD* bytes) {
    if (bytes == nullptr) return E_POINTER;
    const DWORD needed = sizeof(WM_MEDIA_TYPE) + sizeof(WAVEFORMATEX);
    if (type == nullptr) {
        *bytes = needed;
        return S_OK;
    }
    if (*bytes < needed) return ASF_E_BUFFERTOOSMALL;
    type->majortype = WMMEDIATYPE_Audio;
    type->subtype = WMMEDIASUBTYPE_PCM;
    type->bFixedSizeSamples = TRUE;
    type->bTemporalCompression = FALSE;
    type->lSampleSize = format_.nBlockAlign;
    type->formattype = WMFORMAT_WaveFormatEx;
    type->pUnk = nullptr;
    type->cbFormat = sizeof(WAVEFORMATEX);
    type->pbFormat = reinterpret_cast<BYTE*>(type + 1);
    std::memcpy(type->pbFormat, &format_, sizeof(WAVEFORMATEX));
    *bytes = needed;
    return S_OK;
}

HRESULT MediaOutputProps::SetMediaType(WM_MEDIA_TYPE* type) {
    if (type == nullptr) return E_POINTER;
    if (!(type->majortype == WMMEDIATYPE_Audio) || !(type->formattype == WMFORMAT_WaveFormatEx) ||
        type->pbFormat == nullptr || type->cbFormat < 16)
        return E_INVALIDARG;
    WAVEFORMATEX format{};
    std::memcpy(&format, type->pbFormat, type->cbFormat < sizeof format ? type->cbFormat : sizeof format);
    if (format.wFormatTag != WAVE_FORMAT_PCM) return E_INVALIDARG;
    format.cbSize = 0;
    format_ = format;
    return S_OK;
}

HRESULT MediaOutputProps::GetStreamGroupName(WCHAR* name, WORD* chars) { return emptyName(name, chars); }

HRESULT MediaOutputProps::GetConnectionName(WCHAR* name, WORD* chars) { return emptyName(name, chars); }

}  // namespace plat
