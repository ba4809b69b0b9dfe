// A minimal engine plug-in for the host program's tests: it checks what the host hands
// over (fixed numbers, engine strings, engine objects) and answers in the engine's terms.
#include <plat/winbase.h>

#include <cstdio>
#include <cstring>

#include "engine_interface.h"

#define TEST_EXPORT __attribute__((visibility("default")))

extern "C" {
// Sum of two fixed numbers, as fixed.
TEST_EXPORT int32_t tp_add(host::fixed a, host::fixed b);
// Integer part of its argument, raw.
TEST_EXPORT int32_t tp_toInt(host::fixed a);
// Length of an engine string as fixed; -1 raw for a missing string.
TEST_EXPORT int32_t tp_length(const void* text);
// Weighted sum of four integer arguments: proves each reaches its own place.
TEST_EXPORT int32_t tp_four(host::fixed a, host::fixed b, host::fixed c, host::fixed d);
// 1 when the engine gave a window, a device and a primary buffer, else 0.
TEST_EXPORT int32_t tp_engineReady();
// Plays a second of a 500 Hz square wave (8 kHz mono buffer) once on the engine's
// device. 1 on success.
TEST_EXPORT int32_t tp_beep();
// Releases the sound of tp_beep, which stops it. 1 when there was one.
TEST_EXPORT int32_t tp_release();
// Calls the engine's two service functions.
TEST_EXPORT int32_t tp_initServices();
// Size of a resource of the host as fixed; -1 raw when there is none.
TEST_EXPORT int32_t tp_resourceSize(const void* name, const void* type);
// Size of a file as fixed, the name taken as the engine passes it; -1 raw when missing.
TEST_EXPORT int32_t tp_fileSize(const void* name);
}

namespace {
IDirectSoundBuffer* g_beep = nullptr;
}

int32_t tp_add(host::fixed a, host::fixed b) {
    return a + b;
}

int32_t tp_toInt(host::fixed a) {
    return host::toInt(a);
}

int32_t tp_length(const void* text) {
    const char* s = host::stringText(text);
    return s == nullptr ? -1 : host::toFixed(static_cast<int32_t>(std::strlen(s)));
}

int32_t tp_four(host::fixed a, host::fixed b, host::fixed c, host::fixed d) {
    return host::toInt(a) + 10 * host::toInt(b) + 100 * host::toInt(c) + 1000 * host::toInt(d);
}

int32_t tp_engineReady() {
    return host::mainWindow() != nullptr && host::engineDevice() != nullptr &&
           host::enginePrimaryBuffer() != nullptr;
}

int32_t tp_release() {
    if (g_beep == nullptr) return 0;
    g_beep->Release();
    g_beep = nullptr;
    return 1;
}

int32_t tp_beep() {
    tp_release();
    IDirectSound* device = host::engineDevice();
    if (device == nullptr) return 0;
    WAVEFORMATEX format{WAVE_FORMAT_PCM, 1, 8000, 16000, 2, 16, 0};
    DSBUFFERDESC desc{};
    desc.dwSize = sizeof desc;
    desc.dwBufferBytes = 16000;
    desc.lpwfxFormat = &format;
    if (FAILED(device->CreateSoundBuffer(&desc, &g_beep, nullptr))) return 0;
    void* part1 = nullptr;
    void* part2 = nullptr;
    DWORD bytes1 = 0;
    DWORD bytes2 = 0;
    if (FAILED(g_beep->Lock(0, desc.dwBufferBytes, &part1, &bytes1, &part2, &bytes2, 0))) return 0;
    auto* samples = static_cast<int16_t*>(part1);
    for (DWORD i = 0; i < bytes1 / 2; ++i) samples[i] = (i / 8) % 2 ? 20000 : -20000;
    g_beep->Unlock(part1, bytes1, part2, bytes2);
    return SUCCEEDED(g_beep->Play(0, 0, 0)) ? 1 : 0;
}

int32_t tp_initServices() {
    host::callInitServices();
    return 1;
}

int32_t tp_resourceSize(const void* name, const void* type) {
    HRSRC resource = FindResourceA(nullptr, host::stringText(name), host::stringText(type));
    if (resource == nullptr) return -1;
    return host::toFixed(static_cast<int32_t>(SizeofResource(nullptr, resource)));
}

int32_t tp_fileSize(const void* name) {
    const char* path = host::stringText(name);
    FILE* file = path != nullptr ? std::fopen(path, "rb") : nullptr;
    if (file == nullptr) return -1;
    std::fseek(file, 0, SEEK_END);
    const long size = std::ftell(file);
    std::fclose(file);
    return host::toFixed(static_cast<int32_t>(size));
}
