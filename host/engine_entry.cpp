#include <atomic>

#include "engine_interface.h"
#include "engine_layout.h"
#include "export_guard.h"

namespace host {
namespace {

using layout::word;

// Copies taken at entry of engine data that nothing reads later; kept as the engine's
// plug-ins keep them.
struct EntryCopies {
    uintptr_t engineTable = 0;
    uintptr_t engineTableWords[3] = {};  // words 0, 1 and 4
    uintptr_t functionTable = 0;
    uintptr_t functionTableWord2 = 0;
};

// The interface record of the latest A5_DLLAPI call. Atomic because timer and worker
// threads read engine objects through it while the script thread may call the entry.
std::atomic<const void*> g_interface{nullptr};
EntryCopies g_copies;

const void* record(size_t index) {
    return reinterpret_cast<const void*>(word(g_interface.load(std::memory_order_acquire), index));
}

void callService(size_t index) {
    const uintptr_t fn = word(record(layout::kWindowRecord), index);
    if (fn != 0) reinterpret_cast<void (*)()>(fn)();
}

}  // namespace

const char* stringText(const void* engineString) {
    return reinterpret_cast<const char*>(word(engineString, layout::kStringText));
}

IDirectSound* engineDevice() {
    return reinterpret_cast<IDirectSound*>(word(record(layout::kSoundRecord), layout::kDevice));
}

IDirectSoundBuffer* enginePrimaryBuffer() {
    return reinterpret_cast<IDirectSoundBuffer*>(word(record(layout::kSoundRecord), layout::kPrimaryBuffer));
}

HWND mainWindow() {
    return reinterpret_cast<HWND>(word(record(layout::kWindowRecord), layout::kWindowHandle));
}

void callInitServices() {
    callService(layout::kFirstService);
    callService(layout::kSecondService);
}

}  // namespace host

extern "C" __attribute__((visibility("default"))) int32_t A5_DLLAPI(void* engineInterface) {
    return a5::guardExport(0, [&]() -> int32_t {
        using host::layout::word;
        host::g_interface.store(engineInterface, std::memory_order_release);

        host::EntryCopies copies;
        copies.engineTable = word(engineInterface, host::layout::kEngineTable);
        const auto* table = reinterpret_cast<const void*>(copies.engineTable);
        copies.engineTableWords[0] = word(table, 0);
        copies.engineTableWords[1] = word(table, 1);
        copies.engineTableWords[2] = word(table, 4);
        copies.functionTable = word(engineInterface, host::layout::kFunctionTable);
        copies.functionTableWord2 = word(reinterpret_cast<const void*>(copies.functionTable), 2);
        host::g_copies = copies;
        return 511;
    });
}
