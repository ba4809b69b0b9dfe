// The sound service's factories and the runtime-control entry points.
#include <plat/a5platform.h>
#include <plat/dsound.h>

#include <cerrno>
#include <new>

#include "export_failure.h"
#include "export_guard.h"
#include "runtime.h"
#include "sound_device.h"

using plat::Runtime;

namespace {

HRESULT createDevice(const GUID* device, void** out, IUnknown* outer) {
    if (!out) return DSERR_INVALIDPARAM;
    *out = nullptr;
    if (outer) return DSERR_NOAGGREGATION;
    if (device && !(*device == GUID_NULL)) return DSERR_NODRIVER;
    Runtime& runtime = Runtime::get();
    if (runtime.stopped() || runtime.takeFailure(Runtime::Failing::DeviceCreation)) return DSERR_NODRIVER;
    // Out of memory reaches the export's guard, which answers DSERR_OUTOFMEMORY.
    *out = static_cast<IDirectSound8*>(new plat::SoundDevice(runtime.mixer(), true, runtime.eax()));
    return DS_OK;
}

}  // namespace

PLAT_API HRESULT DirectSoundCreate(const GUID* device, IDirectSound** out, IUnknown* outer) {
    return a5::guardExport(plat::failureResult, [&]() -> HRESULT {
        void* object = nullptr;
        HRESULT hr = createDevice(device, &object, outer);
        if (out) *out = static_cast<IDirectSound8*>(object);
        return out ? hr : DSERR_INVALIDPARAM;
    });
}

PLAT_API HRESULT DirectSoundCreate8(const GUID* device, IDirectSound8** out, IUnknown* outer) {
    return a5::guardExport(plat::failureResult, [&]() -> HRESULT {
        void* object = nullptr;
        HRESULT hr = createDevice(device, &object, outer);
        if (out) *out = static_cast<IDirectSound8*>(object);
        return out ? hr : DSERR_INVALIDPARAM;
    });
}

namespace plat {
// A device made through COM starts uninitialised, as the class object does.
HRESULT createUninitializedDevice(REFIID iid, void** object) {
    Runtime& runtime = Runtime::get();
    if (runtime.stopped()) return DSERR_NODRIVER;
    if (runtime.takeFailure(Runtime::Failing::DeviceCreation)) return REGDB_E_CLASSNOTREG;
    auto* device = new (std::nothrow) SoundDevice(runtime.mixer(), false, runtime.eax());
    if (!device) return E_OUTOFMEMORY;
    HRESULT hr = device->QueryInterface(iid, object);
    device->Release();
    return hr;
}

// The EAX class is the same device; hardware without EAX has no such class.
HRESULT createEaxDevice(REFIID iid, void** object) {
    if (!Runtime::get().eax()) return REGDB_E_CLASSNOTREG;
    return createUninitializedDevice(iid, object);
}
}  // namespace plat

PLAT_API int a5p_configure(const A5PlatformConfig* config) {
    return a5::guardExport(-1, [&]() -> int { return config ? Runtime::configure(*config) : -1; });
}

PLAT_API int a5p_shutdown() {
    // Whatever throws, the WAV output cannot be known to be whole.
    return a5::guardExport(EIO, [&]() -> int { return Runtime::shutdown(); });
}

PLAT_API void a5p_advance_ns(uint64_t nanoseconds) {
    a5::guardExport([&] { Runtime::get().advance(nanoseconds); });
}

PLAT_API uint64_t a5p_now_ns() {
    return a5::guardExport(uint64_t{0}, [&]() -> uint64_t { return Runtime::get().clock().now(); });
}

PLAT_API int a5p_is_virtual_clock() {
    return a5::guardExport(0, [&]() -> int { return Runtime::get().clock().isVirtual() ? 1 : 0; });
}

PLAT_API unsigned a5p_output_rate() {
    return a5::guardExport(0u, [&]() -> unsigned { return Runtime::get().mixer().outputRate(); });
}

PLAT_API unsigned a5p_output_channels() {
    return a5::guardExport(0u, [&]() -> unsigned { return Runtime::get().mixer().outputChannels(); });
}

PLAT_API int a5p_output_kind() {
    return a5::guardExport(-1, [&]() -> int { return Runtime::get().outputKind(); });
}

PLAT_API uint64_t a5p_frames_mixed() {
    return a5::guardExport(uint64_t{0}, [&]() -> uint64_t { return Runtime::get().mixer().framesMixed(); });
}

PLAT_API void a5p_set_capture(A5CaptureFn fn, void* user) {
    a5::guardExport([&] { Runtime::get().mixer().setCapture(fn, user); });
}

PLAT_API void a5p_mark_buffer_lost(IDirectSoundBuffer* buffer, unsigned restoreFailures) {
    a5::guardExport([&] {
        if (buffer) static_cast<plat::SoundBuffer*>(buffer)->markLost(restoreFailures);
    });
}

PLAT_API void a5p_fail_device_creations(unsigned count) {
    a5::guardExport([&] { Runtime::get().failNext(Runtime::Failing::DeviceCreation, count); });
}

PLAT_API void a5p_fail_device_initializations(unsigned count) {
    a5::guardExport([&] { Runtime::get().failNext(Runtime::Failing::DeviceInitialization, count); });
}

PLAT_API void a5p_fail_timer_creations(unsigned count) {
    a5::guardExport([&] { Runtime::get().timers().failNextCreations(count); });
}
