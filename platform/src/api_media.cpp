// The media reader's entry point.
#include <plat/wmsdk.h>

#include "export_failure.h"
#include "export_guard.h"
#include "media_reader.h"

PLAT_API HRESULT WMCreateReader(IUnknown* certificate, DWORD, IWMReader** reader) {
    return a5::guardExport(plat::failureResult, [&]() -> HRESULT {
        if (reader == nullptr) return E_POINTER;
        *reader = nullptr;
        if (certificate != nullptr) return E_INVALIDARG;
        return plat::createMediaReader(reader);
    });
}
