// Streams that have ended for good (a one-shot sound that has played its last sample),
// handed from the thread that saw the end (a refill tick, a media reader's callback) to
// the script thread, which releases what they hold at its next call. Only the script
// thread releases: the controls it runs use the buffer without a lock.
//
// Posting never blocks and never allocates: the list runs through the streams
// themselves, so a tick can post while the script thread releases.
#pragma once

#include <atomic>

#include "sound_stream.h"

namespace orvox::stream {

class EndedStreams {
public:
    EndedStreams() = default;
    EndedStreams(const EndedStreams&) = delete;
    EndedStreams& operator=(const EndedStreams&) = delete;

    // Any thread; SoundStream::reportEnded posts each stream at most once.
    void post(SoundStream& stream) {
        SoundStream* head = head_.load(std::memory_order_relaxed);
        do {
            stream.nextEnded_ = head;
        } while (!head_.compare_exchange_weak(head, &stream, std::memory_order_release, std::memory_order_relaxed));
    }

    // Script thread: hands each stream posted since the last call to `release`.
    template <class Release>
    void releaseAll(Release release) {
        if (head_.load(std::memory_order_relaxed) == nullptr) return;
        for (SoundStream* s = head_.exchange(nullptr, std::memory_order_acquire); s != nullptr;) {
            SoundStream* next = s->nextEnded_;
            release(*s);
            s = next;
        }
    }

private:
    std::atomic<SoundStream*> head_{nullptr};
};

}  // namespace orvox::stream
