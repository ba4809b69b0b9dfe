// PCM waiting for room in a sound buffer: appended at the back, taken from the front. The
// block grows to the largest backlog seen and is then reused, so steady playback
// allocates nothing per delivered sample.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace orvox::stream {

class PcmQueue {
public:
    void append(const uint8_t* data, size_t bytes) {
        if (bytes == 0) return;
        if (end_ + bytes > block_.size()) {
            // Move what waits to the front first; grow only when that is not enough.
            if (begin_ > 0) {
                std::memmove(block_.data(), block_.data() + begin_, size());
                end_ -= begin_;
                begin_ = 0;
            }
            if (end_ + bytes > block_.size()) block_.resize(std::max(end_ + bytes, 2 * block_.size()));
        }
        std::memcpy(block_.data() + end_, data, bytes);
        end_ += bytes;
    }
    const uint8_t* front() const { return block_.data() + begin_; }
    size_t size() const { return end_ - begin_; }
    bool empty() const { return begin_ == end_; }
    void drop(size_t bytes) {
        begin_ += bytes < size() ? bytes : size();
        if (begin_ == end_) begin_ = end_ = 0;
    }
    // Bytes of the block, for the check that steady playback stops growing it.
    size_t capacity() const { return block_.size(); }

private:
    std::vector<uint8_t> block_;
    size_t begin_ = 0;
    size_t end_ = 0;
};

}  // namespace orvox::stream
