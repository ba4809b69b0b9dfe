// COM activation over a registry of class factories.
#include <plat/a5platform.h>
#include <plat/dsound.h>
#include <plat/eax.h>
#include <plat/objbase.h>

#include <map>
#include <mutex>
#include <vector>

#include "export_failure.h"
#include "export_guard.h"
#include "sound_device.h"

namespace {

struct ClassRegistry {
    std::mutex mutex;
    std::vector<std::pair<CLSID, A5ClassFactory>> classes;
    ClassRegistry() {
        classes.emplace_back(CLSID_DirectSound, &plat::createUninitializedDevice);
        classes.emplace_back(CLSID_DirectSound8, &plat::createUninitializedDevice);
        classes.emplace_back(CLSID_EAXDirectSound, &plat::createEaxDevice);
    }
};
ClassRegistry& registry() {
    static ClassRegistry* r = new ClassRegistry;
    return *r;
}

thread_local int comInitCount = 0;

}  // namespace

PLAT_API HRESULT CoInitialize(void*) {
    return a5::guardExport(E_UNEXPECTED, [&]() -> HRESULT { return comInitCount++ == 0 ? S_OK : S_FALSE; });
}

PLAT_API void CoUninitialize() {
    a5::guardExport([&] {
        if (comInitCount > 0) --comInitCount;
    });
}

PLAT_API HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD, REFIID iid, void** object) {
    return a5::guardExport(plat::failureResult, [&]() -> HRESULT {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        A5ClassFactory factory = nullptr;
        {
            ClassRegistry& r = registry();
            std::lock_guard lock(r.mutex);
            for (auto it = r.classes.rbegin(); it != r.classes.rend(); ++it)
                if (it->first == clsid) {
                    factory = it->second;
                    break;
                }
        }
        if (!factory) return REGDB_E_CLASSNOTREG;
        return factory(iid, object);
    });
}

PLAT_API int a5p_register_class(REFCLSID clsid, A5ClassFactory factory) {
    return a5::guardExport(-1, [&]() -> int {
        if (!factory) return -1;
        ClassRegistry& r = registry();
        std::lock_guard lock(r.mutex);
        r.classes.emplace_back(clsid, factory);
        return 0;
    });
}
