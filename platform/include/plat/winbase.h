// Kernel and user services: events, waits, threads with message queues, tick count,
// sleeping, the message box stand-in and the host program's resources.
#pragma once

#include <plat/wintypes.h>

inline constexpr DWORD INFINITE = 0xFFFFFFFFu;
inline constexpr DWORD WAIT_OBJECT_0 = 0;
inline constexpr DWORD WAIT_ABANDONED = 0x80;
inline constexpr DWORD WAIT_TIMEOUT = 258;
inline constexpr DWORD WAIT_FAILED = 0xFFFFFFFFu;
inline constexpr DWORD MAXIMUM_WAIT_OBJECTS = 64;

// Events. A name makes the event process-wide: creating an event under a name that is
// already open returns a new handle to the same event (and leaves its state alone).
PLAT_API HANDLE CreateEventA(void* security, BOOL manualReset, BOOL initialState, LPCSTR name);
PLAT_API BOOL SetEvent(HANDLE event);
PLAT_API BOOL ResetEvent(HANDLE event);
// Closes an event or thread handle. The object lives while any handle or waiter holds it.
PLAT_API BOOL CloseHandle(HANDLE handle);

// Waits on events and threads (a thread handle is signalled once the thread has ended).
PLAT_API DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
PLAT_API DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds);

// Threads. Each thread made here has its message queue from the start, so a message
// posted right after CreateThread returns is never lost.
using LPTHREAD_START_ROUTINE = DWORD (*)(void* parameter);
PLAT_API HANDLE CreateThread(void* security, size_t stackSize, LPTHREAD_START_ROUTINE start, void* parameter,
                             DWORD flags, DWORD* threadId);
PLAT_API DWORD GetCurrentThreadId();
PLAT_API BOOL GetExitCodeThread(HANDLE thread, DWORD* exitCode);

struct POINT {
    LONG x;
    LONG y;
};
struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
};

inline constexpr UINT WM_QUIT = 0x0012;
inline constexpr UINT WM_USER = 0x0400;
inline constexpr UINT PM_NOREMOVE = 0x0000;
inline constexpr UINT PM_REMOVE = 0x0001;
inline constexpr DWORD QS_POSTMESSAGE = 0x0008;
inline constexpr DWORD QS_ALLEVENTS = 0x00BF;
inline constexpr DWORD QS_ALLINPUT = 0x04FF;

// Fails (FALSE) for a thread id that has no queue. A thread that did not come from
// CreateThread gets its queue at its first message call.
PLAT_API BOOL PostThreadMessageA(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam);
// Queues a message for a window in its owner's queue (see a5p_register_window); FALSE
// for a window nobody registered.
PLAT_API BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Without a window: the calling thread's next message of any kind; with one: its next
// message for that window.
PLAT_API BOOL PeekMessageA(MSG* msg, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags);
// Returns WAIT_OBJECT_0 + i for handle i, WAIT_OBJECT_0 + count when a message is waiting
// in the calling thread's queue, WAIT_TIMEOUT or WAIT_FAILED.
PLAT_API DWORD MsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds,
                                         DWORD wakeMask);

// Milliseconds of the platform clock since the runtime started.
PLAT_API DWORD GetTickCount();
// Always real time, also under the virtual clock.
PLAT_API void Sleep(DWORD milliseconds);

inline constexpr UINT MB_OK = 0x0;
inline constexpr UINT MB_ICONHAND = 0x10;
inline constexpr UINT MB_ICONSTOP = MB_ICONHAND;
inline constexpr int IDOK = 1;
// Writes "caption: text" to standard error and answers IDOK, unless a host installed a
// hook (a5p_set_message_box_hook).
PLAT_API int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);

// Resources of the host program: the host registers named byte blocks with
// a5p_register_resource; module handles are ignored (every lookup searches the host's
// resources). A resource stays valid until the process ends.
PLAT_API HRSRC FindResourceA(HMODULE module, LPCSTR name, LPCSTR type);
PLAT_API HGLOBAL LoadResource(HMODULE module, HRSRC resource);
PLAT_API DWORD SizeofResource(HMODULE module, HRSRC resource);
PLAT_API LPVOID LockResource(HGLOBAL loaded);
PLAT_API HMODULE GetModuleHandleA(LPCSTR name);
