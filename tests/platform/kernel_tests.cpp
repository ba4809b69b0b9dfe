// Events, waits, worker threads and their message queues.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include <plat/a5platform.h>
#include <plat/objbase.h>
#include <plat/dsound.h>
#include <plat/winbase.h>

namespace {

TEST(Events, AutoResetWakesOneWaitAndManualResetStaysSignalled) {
    HANDLE autoEvent = CreateEventA(nullptr, FALSE, TRUE, nullptr);
    EXPECT_EQ(WaitForSingleObject(autoEvent, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(autoEvent, 0), WAIT_TIMEOUT);
    HANDLE manual = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    SetEvent(manual);
    EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(manual, 10), WAIT_OBJECT_0);
    ResetEvent(manual);
    EXPECT_EQ(WaitForSingleObject(manual, 5), WAIT_TIMEOUT);
    HANDLE both[2] = {manual, autoEvent};
    SetEvent(autoEvent);
    EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 0), WAIT_OBJECT_0 + 1);
    EXPECT_TRUE(CloseHandle(autoEvent));
    EXPECT_TRUE(CloseHandle(manual));
    EXPECT_FALSE(CloseHandle(manual));
    EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_FAILED);
}

TEST(Events, ANameOpensTheSameEventUntilEveryHandleIsClosed) {
    HANDLE a = CreateEventA(nullptr, TRUE, FALSE, "9e828a72-test");
    HANDLE b = CreateEventA(nullptr, TRUE, FALSE, "9e828a72-test");
    SetEvent(a);
    EXPECT_EQ(WaitForSingleObject(b, 0), WAIT_OBJECT_0);
    CloseHandle(a);
    EXPECT_TRUE(SetEvent(b));
    CloseHandle(b);
    HANDLE c = CreateEventA(nullptr, TRUE, FALSE, "9e828a72-test");
    EXPECT_EQ(WaitForSingleObject(c, 0), WAIT_TIMEOUT) << "a new event once all handles were closed";
    CloseHandle(c);
}

struct WorkerState {
    HANDLE event;
    std::atomic<int> wakeups{0};
    std::atomic<int> messages{0};
};

DWORD worker(void* p) {
    auto* s = static_cast<WorkerState*>(p);
    for (;;) {
        DWORD r = MsgWaitForMultipleObjects(1, &s->event, FALSE, INFINITE, QS_ALLEVENTS);
        if (r == WAIT_OBJECT_0) {
            ++s->wakeups;
        } else if (r == WAIT_OBJECT_0 + 1) {
            MSG msg;
            bool quit = false;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
                ++s->messages;
                quit |= msg.message == WM_QUIT;
            }
            if (quit) return 7;
        }
    }
}

TEST(Threads, AQuitPostedBeforeTheWorkerWaitsIsNotLost) {
    WorkerState state;
    state.event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, &worker, &state, 0, &id);
    ASSERT_NE(thread, nullptr);
    EXPECT_TRUE(PostThreadMessageA(id, WM_QUIT, 0, 0));
    EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 7u);
    EXPECT_FALSE(PostThreadMessageA(id, WM_USER, 0, 0)) << "the queue ends with its thread";
    CloseHandle(thread);
    CloseHandle(state.event);
}

TEST(Windows, MessagesPostedFromAnyThreadWaitInTheOwnersQueueForThatWindow) {
    char windowA = 0, windowB = 0;
    EXPECT_FALSE(PostMessageA(&windowA, WM_USER, 1, 2)) << "nobody registered the window";
    ASSERT_EQ(a5p_register_window(&windowA), 0);
    ASSERT_EQ(a5p_register_window(&windowB), 0);
    std::thread([&] {
        EXPECT_TRUE(PostMessageA(&windowA, WM_USER + 1, 10, 20));
        EXPECT_TRUE(PostMessageA(&windowB, WM_USER + 2, 30, 40));
    }).join();
    MSG msg{};
    ASSERT_TRUE(PeekMessageA(&msg, &windowB, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.hwnd, &windowB);
    EXPECT_EQ(msg.message, WM_USER + 2);
    EXPECT_FALSE(PeekMessageA(&msg, &windowB, 0, 0, PM_REMOVE));
    a5p_unregister_window(&windowA);  // drops what waits for it
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_FALSE(PostMessageA(&windowA, WM_USER, 0, 0));
    a5p_unregister_window(&windowB);
}

TEST(Threads, UnderTheVirtualClockAdvanceWaitsForWorkersToFinishTheirWakeups) {
    WorkerState state;
    state.event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, &worker, &state, 0, &id);
    for (int i = 1; i <= 20; ++i) {
        SetEvent(state.event);
        a5p_advance_ns(1'000'000);
        EXPECT_EQ(state.wakeups.load(), i);
    }
    PostThreadMessageA(id, WM_QUIT, 0, 0);
    EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    CloseHandle(thread);
    CloseHandle(state.event);
}

// The thread cannot start (std::thread throws inside CreateThread): the export answers null
// instead of letting the exception out, and nothing of the thread is left to hold up the
// virtual clock or a later thread.
TEST(Threads, AThreadThatCannotStartIsRefusedWithoutATrace) {
    WorkerState state;
    state.event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    DWORD id = 77;
    a5p_fail_thread_creations(1);
    EXPECT_EQ(CreateThread(nullptr, 0, &worker, &state, 0, &id), nullptr);
    EXPECT_EQ(id, 77u);
    a5p_advance_ns(1'000'000);  // would wait for ever for a worker counted as running

    HANDLE thread = CreateThread(nullptr, 0, &worker, &state, 0, &id);
    ASSERT_NE(thread, nullptr);
    SetEvent(state.event);
    a5p_advance_ns(1'000'000);
    EXPECT_EQ(state.wakeups.load(), 1);
    PostThreadMessageA(id, WM_QUIT, 0, 0);
    EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    CloseHandle(thread);
    CloseHandle(state.event);
}

TEST(Com, DirectSoundClassStartsUninitialised) {
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
    IDirectSound* ds = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_DirectSound, nullptr, CLSCTX_INPROC_SERVER, IID_IDirectSound,
                               reinterpret_cast<void**>(&ds)),
              S_OK);
    DSBUFFERDESC desc{};
    desc.dwSize = sizeof desc;
    desc.dwFlags = DSBCAPS_PRIMARYBUFFER;
    IDirectSoundBuffer* b = nullptr;
    EXPECT_EQ(ds->CreateSoundBuffer(&desc, &b, nullptr), DSERR_UNINITIALIZED);
    EXPECT_EQ(ds->Initialize(nullptr), DS_OK);
    EXPECT_EQ(ds->Initialize(nullptr), DSERR_ALREADYINITIALIZED);
    EXPECT_EQ(ds->CreateSoundBuffer(&desc, &b, nullptr), DS_OK);
    b->Release();
    ds->Release();
    const CLSID unknown = {1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
    void* object = nullptr;
    EXPECT_EQ(CoCreateInstance(unknown, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object), REGDB_E_CLASSNOTREG);
}

TEST(Resources, RegisteredBlocksAreFoundByNameAndType) {
    const char bytes[] = "RIFF";
    ASSERT_EQ(a5p_register_resource("song", "WAVE", bytes, 4), 0);
    EXPECT_EQ(FindResourceA(nullptr, "song", "WAV"), nullptr);
    HRSRC r = FindResourceA(nullptr, "song", "WAVE");
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(SizeofResource(nullptr, r), 4u);
    EXPECT_EQ(std::memcmp(LockResource(LoadResource(nullptr, r)), "RIFF", 4), 0);
}

TEST(MessageBox, HostHookReceivesTheText) {
    static std::string seen;
    a5p_set_message_box_hook(
        [](void*, const char* text, const char* caption, unsigned type) {
            seen = std::string(caption) + "|" + text + "|" + std::to_string(type);
            return 1;
        },
        nullptr);
    EXPECT_EQ(MessageBoxA(nullptr, "Unable to open Mixer Controls.", "Volume Control Error", MB_ICONHAND), 1);
    EXPECT_EQ(seen, "Volume Control Error|Unable to open Mixer Controls.|16");
    a5p_set_message_box_hook(nullptr, nullptr);
}

TEST(Devices, CreationCanBeMadeToFail) {
    a5p_fail_device_creations(1);
    IDirectSound8* ds = nullptr;
    EXPECT_EQ(DirectSoundCreate8(nullptr, &ds, nullptr), DSERR_NODRIVER);
    EXPECT_EQ(ds, nullptr);
    EXPECT_EQ(DirectSoundCreate8(nullptr, &ds, nullptr), DS_OK);
    ds->Release();
}

}  // namespace
