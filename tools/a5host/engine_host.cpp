#include "engine_host.h"

#include <plat/a5platform.h>
#include <plat/dsound.h>

#include <atomic>
#include <cstdio>

namespace a5host {
namespace {

// The engine's service functions take no arguments, so what they count lives here.
std::atomic<unsigned> g_serviceCalls[2];

void firstService() {
    g_serviceCalls[0].fetch_add(1, std::memory_order_relaxed);
}
void secondService() {
    g_serviceCalls[1].fetch_add(1, std::memory_order_relaxed);
}

std::string failure(const char* what, HRESULT hr) {
    char text[96];
    std::snprintf(text, sizeof text, "%s failed (0x%08X)", what, static_cast<unsigned>(hr));
    return text;
}

}  // namespace

std::unique_ptr<EngineHost> EngineHost::create(std::string& error) {
    std::unique_ptr<EngineHost> engine(new EngineHost());
    const HWND window = &engine->window_;

    HRESULT hr = DirectSoundCreate(nullptr, engine->device_.put(), nullptr);
    if (FAILED(hr)) {
        error = failure("creating the engine's sound device", hr);
        return nullptr;
    }
    hr = engine->device_->SetCooperativeLevel(window, DSSCL_PRIORITY);
    if (FAILED(hr)) {
        error = failure("setting the engine's cooperative level", hr);
        return nullptr;
    }
    DSBUFFERDESC desc{};
    desc.dwSize = sizeof desc;
    desc.dwFlags = DSBCAPS_PRIMARYBUFFER;
    hr = engine->device_->CreateSoundBuffer(&desc, engine->primary_.put(), nullptr);
    if (FAILED(hr)) {
        error = failure("creating the engine's primary buffer", hr);
        return nullptr;
    }

    a5p_register_window(window);
    engine->records_.setWindow(window);
    engine->records_.setServices(&firstService, &secondService);
    engine->records_.setSound(engine->device_.get(), engine->primary_.get());
    return engine;
}

EngineHost::~EngineHost() { a5p_unregister_window(&window_); }

unsigned EngineHost::serviceCalls(int which) {
    return which == 0 || which == 1 ? g_serviceCalls[which].load(std::memory_order_relaxed) : 0;
}

}  // namespace a5host
