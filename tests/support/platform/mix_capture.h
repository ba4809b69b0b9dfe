// What the process mixer produces while the object lives, as interleaved stereo frames:
// the capture the platform, player and tracker tests compare with what they expect.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

#include <plat/a5platform.h>

namespace a5test {

class MixCapture {
public:
    MixCapture() { a5p_set_capture(&MixCapture::receive, this); }
    ~MixCapture() { a5p_set_capture(nullptr, nullptr); }
    MixCapture(const MixCapture&) = delete;
    MixCapture& operator=(const MixCapture&) = delete;

    std::vector<int16_t> samples() const {
        std::lock_guard lock(mutex_);
        return samples_;
    }
    size_t frames() const {
        std::lock_guard lock(mutex_);
        return samples_.size() / 2;
    }
    // Frames [from, from + count), as many as there are.
    std::vector<int16_t> frames(size_t from, size_t count) const {
        std::lock_guard lock(mutex_);
        const size_t begin = std::min(samples_.size(), from * 2);
        const size_t end = std::min(samples_.size(), (from + count) * 2);
        return std::vector<int16_t>(samples_.begin() + static_cast<ptrdiff_t>(begin),
                                    samples_.begin() + static_cast<ptrdiff_t>(end));
    }
    // What was captured since the last take, and the capture starts afresh.
    std::vector<int16_t> take() {
        std::lock_guard lock(mutex_);
        return std::exchange(samples_, {});
    }

private:
    static void receive(void* user, const int16_t* samples, size_t frames, unsigned channels) {
        auto* self = static_cast<MixCapture*>(user);
        std::lock_guard lock(self->mutex_);
        self->samples_.insert(self->samples_.end(), samples, samples + frames * channels);
    }

    mutable std::mutex mutex_;
    std::vector<int16_t> samples_;
};

inline bool silent(const std::vector<int16_t>& samples) {
    return std::all_of(samples.begin(), samples.end(), [](int16_t s) { return s == 0; });
}

}  // namespace a5test
