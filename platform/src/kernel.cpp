#include "kernel.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <system_error>
#include <thread>

#include "clock.h"

namespace plat {

namespace {
thread_local DWORD tlsThreadId = 0;
}

struct Kernel::ThreadStart {
    LPTHREAD_START_ROUTINE start;
    void* parameter;
    KernelObject* thread;
    DWORD id;
};

Kernel& Kernel::instance() {
    // Never destroyed: worker threads may still be parked in a wait at process exit.
    static Kernel* kernel = new Kernel;
    return *kernel;
}

KernelObject* Kernel::lookup(HANDLE h) const {
    auto* object = static_cast<KernelObject*>(h);
    return objects_.count(object) ? object : nullptr;
}

void Kernel::release(KernelObject* object) {
    if (--object->handles > 0) return;
    if (!object->name.empty()) named_.erase(object->name);
    objects_.erase(object);
    delete object;
}

HANDLE Kernel::createEvent(bool manualReset, bool initialState, const char* name) {
    std::lock_guard lock(mutex_);
    if (name && *name) {
        auto it = named_.find(name);
        if (it != named_.end()) {
            ++it->second->handles;
            return it->second;
        }
    }
    auto* event = new KernelObject(KernelObject::Kind::Event);
    event->manualReset = manualReset;
    event->signaled = initialState;
    if (name && *name) {
        event->name = name;
        named_[event->name] = event;
    }
    objects_.insert(event);
    return event;
}

bool Kernel::setEvent(HANDLE h) {
    std::lock_guard lock(mutex_);
    KernelObject* event = lookup(h);
    if (!event || event->kind != KernelObject::Kind::Event) return false;
    event->signaled = true;
    wakeWaiters();
    return true;
}

bool Kernel::resetEvent(HANDLE h) {
    std::lock_guard lock(mutex_);
    KernelObject* event = lookup(h);
    if (!event || event->kind != KernelObject::Kind::Event) return false;
    event->signaled = false;
    return true;
}

bool Kernel::closeHandle(HANDLE h) {
    std::lock_guard lock(mutex_);
    KernelObject* object = lookup(h);
    if (!object) return false;
    release(object);
    return true;
}

std::deque<MSG>& Kernel::queueOf(DWORD threadId) { return queues_[threadId]; }

bool Kernel::isWorker(DWORD threadId) const { return workers_.count(threadId) != 0; }

void Kernel::workerBlocked(DWORD threadId) {
    if (!isWorker(threadId)) return;
    if (--runningWorkers_ == 0) idle_.notify_all();
}

void Kernel::workerRunning(DWORD threadId) {
    if (isWorker(threadId)) ++runningWorkers_;
}

// Called with the lock held. Consumes auto-reset events that satisfy the wait.
bool Kernel::trySatisfy(Waiter& w) {
    const DWORD count = static_cast<DWORD>(w.objects.size());
    if (w.waitAll && count > 0) {
        bool all = std::all_of(w.objects.begin(), w.objects.end(), [](KernelObject* o) { return o->signaled; });
        if (all) {
            for (KernelObject* o : w.objects)
                if (!o->manualReset) o->signaled = false;
            w.result = WAIT_OBJECT_0;
            return true;
        }
    } else {
        for (DWORD i = 0; i < count; ++i) {
            KernelObject* o = w.objects[i];
            if (o->signaled) {
                if (!o->manualReset) o->signaled = false;
                w.result = WAIT_OBJECT_0 + i;
                return true;
            }
        }
    }
    if (w.forMessages) {
        auto it = queues_.find(w.threadId);
        if (it != queues_.end() && !it->second.empty()) {
            w.result = WAIT_OBJECT_0 + count;
            return true;
        }
    }
    return false;
}

void Kernel::wakeWaiters() {
    for (Waiter* w : blocked_) {
        if (w->done || !trySatisfy(*w)) continue;
        w->done = true;
        workerRunning(w->threadId);
        w->cv.notify_one();
    }
}

DWORD Kernel::wait(DWORD count, const HANDLE* handles, bool waitAll, DWORD milliseconds, bool forMessages) {
    if (count > MAXIMUM_WAIT_OBJECTS || (count > 0 && !handles)) return WAIT_FAILED;
    const DWORD self = currentThreadId();
    std::unique_lock lock(mutex_);
    Waiter w;
    w.waitAll = waitAll;
    w.forMessages = forMessages;
    w.threadId = self;
    for (DWORD i = 0; i < count; ++i) {
        KernelObject* o = lookup(handles[i]);
        if (!o) {
            for (KernelObject* held : w.objects) release(held);
            return WAIT_FAILED;
        }
        ++o->handles;  // the object outlives a CloseHandle made during the wait
        w.objects.push_back(o);
    }
    if (forMessages) queueOf(self);

    auto finish = [&](DWORD result) {
        for (KernelObject* held : w.objects) release(held);
        return result;
    };
    if (trySatisfy(w)) return finish(w.result);
    if (milliseconds == 0) return finish(WAIT_TIMEOUT);

    blocked_.insert(&w);
    workerBlocked(self);
    if (milliseconds == INFINITE) {
        w.cv.wait(lock, [&] { return w.done; });
    } else {
        // Time-outs are real time, under both clocks.
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        if (!w.cv.wait_until(lock, deadline, [&] { return w.done; })) {
            w.done = true;
            w.result = WAIT_TIMEOUT;
            workerRunning(self);
        }
    }
    blocked_.erase(&w);
    return finish(w.result);
}

DWORD Kernel::currentThreadId() {
    if (tlsThreadId == 0) {
        std::lock_guard lock(mutex_);
        tlsThreadId = nextThreadId_++;
    }
    return tlsThreadId;
}

void Kernel::startThread(ThreadStart* start) {
    for (unsigned n = failThreadStarts_.load(); n > 0;) {
        if (failThreadStarts_.compare_exchange_weak(n, n - 1))
            throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again),
                                    "no thread can be started");
    }
    std::thread(runThread, start).detach();
}

void Kernel::failThreadStarts(unsigned count) { failThreadStarts_.store(count); }

void Kernel::runThread(ThreadStart* start) {
    tlsThreadId = start->id;
    DWORD code = start->start(start->parameter);
    Kernel& k = instance();
    std::lock_guard lock(k.mutex_);
    start->thread->exitCode = code;
    start->thread->signaled = true;
    k.queues_.erase(start->id);
    k.workers_.erase(start->id);
    if (--k.runningWorkers_ == 0) k.idle_.notify_all();
    k.release(start->thread);
    k.wakeWaiters();
    delete start;
}

HANDLE Kernel::createThread(LPTHREAD_START_ROUTINE start, void* parameter, DWORD* threadId) {
    if (!start) return nullptr;
    auto thread = std::make_unique<KernelObject>(KernelObject::Kind::Thread);
    thread->handles = 2;  // the caller's handle and the running thread's own
    auto info = std::make_unique<ThreadStart>(ThreadStart{start, parameter, thread.get(), 0});
    DWORD id = 0;
    try {
        {
            std::lock_guard lock(mutex_);
            id = info->id = nextThreadId_++;
            objects_.insert(thread.get());
            queues_[info->id];  // the queue exists before the thread runs
            if (workers_.insert(info->id).second) ++runningWorkers_;
        }
        startThread(info.get());
    } catch (...) {
        // Nothing of the thread that never ran stays behind; the export answers the failure.
        std::lock_guard lock(mutex_);
        queues_.erase(id);
        if (workers_.erase(id) != 0 && --runningWorkers_ == 0) idle_.notify_all();
        objects_.erase(thread.get());
        throw;
    }
    info.release();  // the thread deletes it, perhaps before startThread has returned
    if (threadId) *threadId = id;
    return thread.release();
}

bool Kernel::exitCode(HANDLE h, DWORD* code) {
    std::lock_guard lock(mutex_);
    KernelObject* thread = lookup(h);
    if (!thread || thread->kind != KernelObject::Kind::Thread || !code) return false;
    *code = thread->signaled ? thread->exitCode : 259;  // STILL_ACTIVE
    return true;
}

bool Kernel::postMessage(DWORD threadId, const MSG& msg) {
    std::lock_guard lock(mutex_);
    auto it = queues_.find(threadId);
    if (it == queues_.end()) return false;
    it->second.push_back(msg);
    wakeWaiters();
    return true;
}

bool Kernel::registerWindow(HWND window) {
    if (window == nullptr) return false;
    const DWORD self = currentThreadId();
    std::lock_guard lock(mutex_);
    windowOwners_[window] = self;
    queueOf(self);
    return true;
}

void Kernel::unregisterWindow(HWND window) {
    std::lock_guard lock(mutex_);
    auto owner = windowOwners_.find(window);
    if (owner == windowOwners_.end()) return;
    auto queue = queues_.find(owner->second);
    if (queue != queues_.end())
        std::erase_if(queue->second, [window](const MSG& m) { return m.hwnd == window; });
    windowOwners_.erase(owner);
}

bool Kernel::postWindowMessage(const MSG& msg) {
    std::lock_guard lock(mutex_);
    auto owner = windowOwners_.find(msg.hwnd);
    if (owner == windowOwners_.end()) return false;
    auto queue = queues_.find(owner->second);
    if (queue == queues_.end()) return false;  // the owner thread has ended
    queue->second.push_back(msg);
    wakeWaiters();
    return true;
}

bool Kernel::peekMessage(MSG* msg, HWND window, UINT filterMin, UINT filterMax, bool remove) {
    const DWORD self = currentThreadId();
    std::lock_guard lock(mutex_);
    auto& queue = queueOf(self);
    for (auto it = queue.begin(); it != queue.end(); ++it) {
        if (window != nullptr && it->hwnd != window) continue;
        bool inRange = (filterMin == 0 && filterMax == 0) || (it->message >= filterMin && it->message <= filterMax);
        if (!inRange) continue;
        if (msg) *msg = *it;
        if (remove) queue.erase(it);
        return true;
    }
    return false;
}

void Kernel::waitWorkersIdle() {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [&] { return runningWorkers_ == 0; });
}

}  // namespace plat
