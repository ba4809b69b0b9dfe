// What the platform mixes, as the tracker tests look at it: a capture of the output,
// loudness checks and the virtual clock's step.
#pragma once

#include <plat/a5platform.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

namespace orvox::tracker::test {

using Samples = std::vector<std::int16_t>;

// Everything the platform mixes, as interleaved stereo samples.
class Capture {
public:
    Capture() { a5p_set_capture(&Capture::receive, this); }
    ~Capture() { a5p_set_capture(nullptr, nullptr); }
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;

    Samples take() {
        std::lock_guard guard(lock_);
        return std::exchange(samples_, {});
    }

private:
    static void receive(void* user, const std::int16_t* samples, std::size_t frames, unsigned channels) {
        auto* self = static_cast<Capture*>(user);
        std::lock_guard guard(self->lock_);
        self->samples_.insert(self->samples_.end(), samples, samples + frames * channels);
    }

    std::mutex lock_;
    Samples samples_;
};

inline int peak(const Samples& samples) {
    int result = 0;
    for (std::int16_t s : samples) result = std::max(result, s < 0 ? -int{s} : int{s});
    return result;
}

inline bool audible(const Samples& samples) { return peak(samples) > 500; }

// The samples from the first non-zero one on.
inline Samples fromFirstSound(const Samples& samples) {
    std::size_t first = 0;
    while (first < samples.size() && samples[first] == 0) ++first;
    first -= first % 2;  // keep whole frames
    return Samples(samples.begin() + static_cast<std::ptrdiff_t>(first), samples.end());
}

inline void advanceMs(std::uint64_t ms) { a5p_advance_ns(ms * 1'000'000); }

}  // namespace orvox::tracker::test
