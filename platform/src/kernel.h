// Kernel objects (events, threads), thread message queues and waits.
//
// One scheduler lock guards every object, queue and blocked waiter. Under the virtual
// clock it also keeps count of the worker threads made by CreateThread that are running
// (not blocked in one of these waits), so the clock can wait until every worker has done
// all that is due before it moves on.
#pragma once

#include <plat/winbase.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace plat {

struct KernelObject {
    enum class Kind { Event, Thread } kind;
    int handles = 1;   // open handles plus waiters holding it
    bool signaled = false;
    bool manualReset = true;
    std::string name;  // events only; empty when unnamed
    DWORD exitCode = 0;  // threads only
    explicit KernelObject(Kind k) : kind(k) {}
};

class Kernel {
public:
    static Kernel& instance();

    HANDLE createEvent(bool manualReset, bool initialState, const char* name);
    bool setEvent(HANDLE h);
    bool resetEvent(HANDLE h);
    bool closeHandle(HANDLE h);

    // Waits on handles, optionally also for a message in the calling thread's queue.
    DWORD wait(DWORD count, const HANDLE* handles, bool waitAll, DWORD milliseconds, bool forMessages);

    // Null for a null start routine; throws when the thread cannot be started, leaving
    // nothing of it behind.
    HANDLE createThread(LPTHREAD_START_ROUTINE start, void* parameter, DWORD* threadId);
    DWORD currentThreadId();
    bool exitCode(HANDLE thread, DWORD* code);

    bool postMessage(DWORD threadId, const MSG& msg);
    // Window stand-ins: a registered window's messages go to its owner thread's queue.
    bool registerWindow(HWND window);
    void unregisterWindow(HWND window);
    bool postWindowMessage(const MSG& msg);
    // A null window takes any message of the calling thread's queue.
    bool peekMessage(MSG* msg, HWND window, UINT filterMin, UINT filterMax, bool remove);

    // Under the virtual clock: blocks until no worker thread is running.
    void waitWorkersIdle();

    // Test hook: the next `count` threads fail to start, as when the system has no more;
    // createThread then throws std::system_error, as starting a std::thread does.
    void failThreadStarts(unsigned count);

private:
    struct Waiter {
        std::vector<KernelObject*> objects;
        bool waitAll = false;
        bool forMessages = false;
        DWORD threadId = 0;
        bool done = false;
        DWORD result = WAIT_TIMEOUT;
        std::condition_variable cv;
    };
    struct ThreadStart;

    KernelObject* lookup(HANDLE h) const;
    void release(KernelObject* object);
    bool trySatisfy(Waiter& w);
    void wakeWaiters();
    bool isWorker(DWORD threadId) const;
    void workerBlocked(DWORD threadId);
    void workerRunning(DWORD threadId);
    std::deque<MSG>& queueOf(DWORD threadId);
    void startThread(ThreadStart* start);
    static void runThread(ThreadStart* start);

    mutable std::mutex mutex_;
    std::condition_variable idle_;
    std::set<KernelObject*> objects_;
    std::map<std::string, KernelObject*> named_;
    std::set<Waiter*> blocked_;
    std::map<DWORD, std::deque<MSG>> queues_;
    std::map<HWND, DWORD> windowOwners_;
    std::set<DWORD> workers_;
    int runningWorkers_ = 0;
    DWORD nextThreadId_ = 1;
    std::atomic<unsigned> failThreadStarts_{0};
};

}  // namespace plat
