// The end of the data in a looping ring buffer after which only silence is written: how
// much data the play cursor has still to pass. The cursor must be looked at more often
// than it takes to go once round the ring.
#pragma once

#include <cstdint>

#include <plat/wintypes.h>

namespace orvox::stream {

class RingTail {
public:
    explicit RingTail(DWORD ringBytes) : ringBytes_(ringBytes) {}

    // `dataAhead` bytes of data lie ahead of the play cursor `cursor`; nothing after them.
    void start(DWORD cursor, DWORD dataAhead) {
        last_ = cursor;
        left_ = dataAhead;
        started_ = true;
    }
    bool started() const { return started_; }
    // True once the cursor, now at `cursor`, has passed the last byte of data.
    bool passed(DWORD cursor) {
        if (!started_) return false;
        const DWORD moved = cursor >= last_ ? cursor - last_ : ringBytes_ - last_ + cursor;
        last_ = cursor;
        left_ -= moved;
        return left_ <= 0;
    }

private:
    const DWORD ringBytes_;
    DWORD last_ = 0;
    int64_t left_ = 0;
    bool started_ = false;
};

}  // namespace orvox::stream
