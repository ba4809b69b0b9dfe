// Events, waits, threads, messages, time, the message box and the host's resources.
#include <plat/a5platform.h>
#include <plat/winbase.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "export_guard.h"
#include "kernel.h"
#include "runtime.h"

using plat::Kernel;

PLAT_API HANDLE CreateEventA(void*, BOOL manualReset, BOOL initialState, LPCSTR name) {
    return a5::guardExport(nullptr, [&]() -> HANDLE {
        return Kernel::instance().createEvent(manualReset != 0, initialState != 0, name);
    });
}

PLAT_API BOOL SetEvent(HANDLE event) {
    return a5::guardExport(FALSE, [&]() -> BOOL { return Kernel::instance().setEvent(event); });
}

PLAT_API BOOL ResetEvent(HANDLE event) {
    return a5::guardExport(FALSE, [&]() -> BOOL { return Kernel::instance().resetEvent(event); });
}

PLAT_API BOOL CloseHandle(HANDLE handle) {
    return a5::guardExport(FALSE, [&]() -> BOOL { return Kernel::instance().closeHandle(handle); });
}

PLAT_API DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    return a5::guardExport(WAIT_FAILED, [&]() -> DWORD {
        return Kernel::instance().wait(1, &handle, false, milliseconds, false);
    });
}

PLAT_API DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds) {
    return a5::guardExport(WAIT_FAILED, [&]() -> DWORD {
        if (count == 0) return WAIT_FAILED;
        return Kernel::instance().wait(count, handles, waitAll != 0, milliseconds, false);
    });
}

PLAT_API HANDLE CreateThread(void*, size_t, LPTHREAD_START_ROUTINE start, void* parameter, DWORD,
                             DWORD* threadId) {
    return a5::guardExport(
        nullptr, [&]() -> HANDLE { return Kernel::instance().createThread(start, parameter, threadId); });
}

PLAT_API void a5p_fail_thread_creations(unsigned count) {
    a5::guardExport([&] { Kernel::instance().failThreadStarts(count); });
}

PLAT_API DWORD GetCurrentThreadId() {
    return a5::guardExport(DWORD{0}, [&]() -> DWORD { return Kernel::instance().currentThreadId(); });
}

PLAT_API BOOL GetExitCodeThread(HANDLE thread, DWORD* exitCode) {
    return a5::guardExport(FALSE, [&]() -> BOOL { return Kernel::instance().exitCode(thread, exitCode); });
}

PLAT_API BOOL PostThreadMessageA(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam) {
    return a5::guardExport(FALSE, [&]() -> BOOL {
        MSG msg{nullptr, message, wParam, lParam, GetTickCount(), {0, 0}};
        return Kernel::instance().postMessage(threadId, msg);
    });
}

PLAT_API BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return a5::guardExport(FALSE, [&]() -> BOOL {
        MSG msg{window, message, wParam, lParam, GetTickCount(), {0, 0}};
        return window != nullptr && Kernel::instance().postWindowMessage(msg);
    });
}

PLAT_API BOOL PeekMessageA(MSG* msg, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags) {
    return a5::guardExport(FALSE, [&]() -> BOOL {
        return Kernel::instance().peekMessage(msg, window, filterMin, filterMax,
                                              (removeFlags & PM_REMOVE) != 0);
    });
}

PLAT_API int a5p_register_window(HWND window) {
    return a5::guardExport(-1, [&]() -> int { return Kernel::instance().registerWindow(window) ? 0 : -1; });
}

PLAT_API void a5p_unregister_window(HWND window) {
    a5::guardExport([&] { Kernel::instance().unregisterWindow(window); });
}

PLAT_API DWORD MsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds,
                                         DWORD wakeMask) {
    return a5::guardExport(WAIT_FAILED, [&]() -> DWORD {
        return Kernel::instance().wait(count, handles, waitAll != 0, milliseconds,
                                       (wakeMask & QS_POSTMESSAGE) != 0);
    });
}

PLAT_API DWORD GetTickCount() {
    return a5::guardExport(DWORD{0}, [&]() -> DWORD {
        return static_cast<DWORD>(plat::Runtime::get().clock().now() / 1'000'000);
    });
}

PLAT_API void Sleep(DWORD milliseconds) {
    a5::guardExport([&] { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); });
}

namespace {

struct MessageBoxHook {
    std::mutex mutex;
    A5MessageBoxHook hook = nullptr;
    void* user = nullptr;
};
MessageBoxHook& messageBoxHook() {
    static MessageBoxHook* h = new MessageBoxHook;
    return *h;
}

struct Resource {
    std::string name, type;
    std::vector<uint8_t> bytes;
};
struct Resources {
    std::mutex mutex;
    std::vector<std::unique_ptr<Resource>> all;  // never shrinks: handles stay valid
};
Resources& resources() {
    static Resources* r = new Resources;
    return *r;
}

}  // namespace

PLAT_API int MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT type) {
    return a5::guardExport(0, [&]() -> int {
        MessageBoxHook& h = messageBoxHook();
        A5MessageBoxHook hook;
        void* user;
        {
            std::lock_guard lock(h.mutex);
            hook = h.hook;
            user = h.user;
        }
        if (hook) return hook(user, text ? text : "", caption ? caption : "", type);
        std::fprintf(stderr, "%s: %s\n", caption ? caption : "", text ? text : "");
        return IDOK;
    });
}

PLAT_API void a5p_set_message_box_hook(A5MessageBoxHook hook, void* user) {
    a5::guardExport([&] {
        MessageBoxHook& h = messageBoxHook();
        std::lock_guard lock(h.mutex);
        h.hook = hook;
        h.user = user;
    });
}

PLAT_API int a5p_register_resource(const char* name, const char* type, const void* data, size_t size) {
    return a5::guardExport(-1, [&]() -> int {
        if (!name || !type || (!data && size)) return -1;
        auto r = std::make_unique<Resource>();
        r->name = name;
        r->type = type;
        if (size)
            r->bytes.assign(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
        Resources& all = resources();
        std::lock_guard lock(all.mutex);
        all.all.push_back(std::move(r));
        return 0;
    });
}

PLAT_API HRSRC FindResourceA(HMODULE, LPCSTR name, LPCSTR type) {
    return a5::guardExport(nullptr, [&]() -> HRSRC {
        if (!name || !type) return nullptr;
        Resources& all = resources();
        std::lock_guard lock(all.mutex);
        // The newest registration of a name wins.
        for (auto it = all.all.rbegin(); it != all.all.rend(); ++it)
            if ((*it)->name == name && (*it)->type == type) return it->get();
        return nullptr;
    });
}

PLAT_API HGLOBAL LoadResource(HMODULE, HRSRC resource) {
    return a5::guardExport(nullptr, [&]() -> HGLOBAL { return resource; });
}

PLAT_API DWORD SizeofResource(HMODULE, HRSRC resource) {
    return a5::guardExport(DWORD{0}, [&]() -> DWORD {
        return resource ? static_cast<DWORD>(static_cast<Resource*>(resource)->bytes.size()) : 0;
    });
}

PLAT_API LPVOID LockResource(HGLOBAL loaded) {
    return a5::guardExport(nullptr, [&]() -> LPVOID {
        if (!loaded) return nullptr;
        auto* r = static_cast<Resource*>(loaded);
        return r->bytes.empty() ? nullptr : r->bytes.data();
    });
}

PLAT_API HMODULE GetModuleHandleA(LPCSTR) {
    return a5::guardExport(nullptr, [&]() -> HMODULE { return nullptr; });
}
