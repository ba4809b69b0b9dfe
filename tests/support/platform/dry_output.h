// Telling the plain mix from a processed one: a looping noise buffer at the output rate
// and full volume comes out as its own samples, bit for bit, when nothing processes the
// mixer's sum. Header-only, for platform and player tests alike.
#pragma once

#include <plat/a5platform.h>

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <random>
#include <utility>
#include <vector>

namespace a5test {

// The left channel of every mixed block, in order, while it lives.
struct LeftCapture {
    std::mutex mutex;
    std::vector<int16_t> left;
    static void receive(void* user, const int16_t* s, size_t frames, unsigned channels) {
        auto* self = static_cast<LeftCapture*>(user);
        std::lock_guard lock(self->mutex);
        for (size_t i = 0; i < frames; ++i) self->left.push_back(s[i * channels]);
    }
    LeftCapture() { a5p_set_capture(&LeftCapture::receive, this); }
    ~LeftCapture() { a5p_set_capture(nullptr, nullptr); }
    LeftCapture(const LeftCapture&) = delete;
    LeftCapture& operator=(const LeftCapture&) = delete;
    std::vector<int16_t> take() {
        std::lock_guard lock(mutex);
        return std::exchange(left, {});
    }
};

// Interleaved stereo noise of `frames` frames within ±amplitude.
class NoiseLoop {
public:
    NoiseLoop(size_t frames, unsigned seed, int amplitude) : samples_(2 * frames), left_(frames) {
        std::mt19937 rng(seed);
        for (auto& v : samples_) v = static_cast<int16_t>(int(rng() % unsigned(2 * amplitude)) - amplitude);
        for (size_t i = 0; i < frames; ++i) left_[i] = samples_[2 * i];
    }
    const std::vector<int16_t>& samples() const { return samples_; }

    // True when `out` is the loop's left channel, from some phase on.
    bool isDry(const std::vector<int16_t>& out) const {
        if (out.size() < 16) return false;
        const auto phase = std::search(left_.begin(), left_.end(), out.begin(), out.begin() + 16);
        if (phase == left_.end()) return false;
        for (size_t i = 0, p = size_t(phase - left_.begin()); i < out.size(); ++i)
            if (out[i] != left_[(p + i) % left_.size()]) return false;
        return true;
    }

private:
    std::vector<int16_t> samples_, left_;
};

}  // namespace a5test
