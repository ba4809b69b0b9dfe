// Orvox_EAX: the chain of sound objects that ends in the EAX 2.0 listener property set.
// Every line of the setup is written whether logging is on or not.
#include "eax.h"

#include <plat/dsound.h>
#include <plat/eax.h>
#include <plat/objbase.h>
#include <plat/owned.h>

#include "engine_interface.h"
#include "media_log.h"

namespace orvox::eax {
namespace {

constexpr int kLastEnvironment = 26;  // script numbers 1..26 are EAX environments 0..25
static_assert(kLastEnvironment == EAX_ENVIRONMENT_COUNT);

// Library-wide EAX state; used on the script thread only.
struct Chain {
    bool ready = false;
    IDirectSoundBuffer* enginePrimary = nullptr;  // the engine's; forgotten, never released
    plat::ComPtr<IDirectSound> device;
    plat::ComPtr<IDirectSound3DListener> listener;
    plat::ComPtr<IDirectSoundBuffer> secondBuffer;
    plat::ComPtr<IDirectSound3DBuffer> buffer3d;
    plat::ComPtr<IKsPropertySet> propertySet;

    // Releases whatever is present, in the order the objects depend on each other's
    // drivers: 3D buffer, second buffer, listener, property set, device.
    void tearDown() {
        buffer3d.reset();
        secondBuffer.reset();
        listener.reset();
        propertySet.reset();
        device.reset();
        enginePrimary = nullptr;
        ready = false;
    }
    ~Chain() { tearDown(); }
};

Chain& chain() {
    static Chain c;
    return c;
}

template <class Interface>
void** slot(plat::ComPtr<Interface>& owner) {
    return reinterpret_cast<void**>(owner.put());
}

// Writes the line of the step that failed and releases what the earlier steps obtained,
// so that the next call starts afresh from the first step.
bool fail(Chain& c, const char* line) {
    log::write(line);
    c.tearDown();
    return false;
}

bool setUp(Chain& c) {
    c.enginePrimary = host::enginePrimaryBuffer();
    CoInitialize(nullptr);
    if (FAILED(CoCreateInstance(CLSID_EAXDirectSound, nullptr, CLSCTX_INPROC_SERVER, IID_IDirectSound,
                                slot(c.device))) &&
        FAILED(CoCreateInstance(CLSID_DirectSound, nullptr, CLSCTX_INPROC_SERVER, IID_IDirectSound, slot(c.device))))
        return fail(c, "Error: Failed to CoCreateInstance of EAXDirectSound and DirectSound for EAX\n");
    if (FAILED(c.device->Initialize(nullptr))) return fail(c, "Error: Failed to initialize Direct Sound for EAX\n");
    log::write("Success: Successfully initialized Direct Sound for EAX\n");
    if (!c.enginePrimary || FAILED(c.enginePrimary->QueryInterface(IID_IDirectSound3DListener, slot(c.listener))))
        return fail(c, "Error: Failed to query interface for pListener for EAX\n");

    WAVEFORMATEX format{WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
    DSBUFFERDESC desc{};
    desc.dwSize = DSBUFFERDESC1_SIZE_32;  // the short form, without the 3D algorithm
    desc.dwFlags = DSBCAPS_CTRL3D | DSBCAPS_LOCHARDWARE | DSBCAPS_STATIC;
    desc.dwBufferBytes = 65536;
    desc.lpwfxFormat = &format;
    if (FAILED(c.device->CreateSoundBuffer(&desc, c.secondBuffer.put(), nullptr)))
        return fail(c, "Error: Failed to create 2nd buffer - EAX support not available\n");
    if (FAILED(c.secondBuffer->QueryInterface(IID_IDirectSound3DBuffer, slot(c.buffer3d))))
        return fail(c, "Error: Failed to query interface for p3Dbuf - EAX support not available\n");
    if (FAILED(c.buffer3d->QueryInterface(IID_IKsPropertySet, slot(c.propertySet))))
        return fail(c, "Error: Failed to query interface for pEAXListener - EAX support not available\n");
    c.ready = true;
    return true;
}

}  // namespace

int32_t select(int environment) {
    Chain& c = chain();
    if (!c.ready && !setUp(c)) return 0;
    if (environment == 0) {
        c.tearDown();
        return 1;
    }
    if (environment >= 1 && environment <= kLastEnvironment) {
        DWORD value = static_cast<DWORD>(environment - 1);
        // A driver that refuses the environment goes unnoticed, as the call's result says.
        c.propertySet->Set(DSPROPSETID_EAX20_ListenerProperties, DSPROPERTY_EAXLISTENER_ENVIRONMENT, nullptr, 0,
                           &value, sizeof(value));
    }
    return 1;
}

void shutdown() {
    if (chain().ready) chain().tearDown();
}

}  // namespace orvox::eax
