// The media reader's entry point.
#include "media_reader.h"
#include "plat/wmsdk.h"

PLAT_API HRESULT WMCreateReader(IUnknown* certificate, DWORD, IWMReader** reader) {
    if (reader == nullptr) return E_POINTER;
    *reader = nullptr;
    if (certificate != nullptr) return E_INVALIDARG;
    return plat::createMediaReader(reader);
}
