#include "mixer.h"

#include <algorithm>
#include <cmath>

#include "kernel.h"
#include "sound_device.h"

namespace plat {

namespace {
// Largest input span one block can need: the highest rate ratio plus the filter's reach.
constexpr uint32_t kScratchFrames =
    Mixer::kBlockFrames * (DSBFREQUENCY_MAX / 8000 + 1) + 2 * 512 + 64;
}

Mixer::Mixer(uint32_t rate, uint32_t channels, bool formatFixed)
    : rate_(rate), channels_(channels), formatFixed_(formatFixed) {
    acc_.resize(kBlockFrames * 2);
    block_.resize(kBlockFrames * 2);
    scratch_.input.resize(kScratchFrames * 2);
    scratch_.fired.reserve(64);
}

void Mixer::add(SoundBuffer* buffer) {
    std::lock_guard lock(mutex_);
    buffers_.push_back(buffer);
}

void Mixer::remove(SoundBuffer* buffer) {
    std::lock_guard lock(mutex_);
    buffers_.erase(std::remove(buffers_.begin(), buffers_.end(), buffer), buffers_.end());
}

void Mixer::requestOutputFormat(uint32_t rate, uint32_t channels) {
    std::lock_guard lock(mutex_);
    if (formatFixed_ || framesMixed_.load() != 0 || stage_) return;
    rate_ = rate;
    channels_ = channels;
}

void Mixer::setStage(MixStage* stage) {
    std::lock_guard lock(mutex_);
    stage_ = stage;
}

void Mixer::setCapture(A5CaptureFn fn, void* user) {
    std::lock_guard lock(captureMutex_);
    capture_ = fn;
    captureUser_ = user;
}

void Mixer::mixFrames(int16_t* out, uint32_t frames) {
    const uint32_t outChannels = outputChannels();
    const uint32_t rate = outputRate();
    {
        std::lock_guard lock(mutex_);
        std::fill_n(acc_.begin(), frames * outChannels, 0.0f);
        scratch_.fired.clear();
        for (SoundBuffer* b : buffers_) b->mixInto(acc_.data(), frames, rate, outChannels, b->device()->masterGain(), scratch_);
        if (stage_) stage_->process(acc_.data(), frames, outChannels);
        for (uint32_t i = 0; i < frames * outChannels; ++i) {
            float v = std::nearbyint(acc_[i]);
            out[i] = static_cast<int16_t>(std::clamp(v, -32768.0f, 32767.0f));
        }
        framesMixed_ += frames;
        for (HANDLE h : scratch_.fired) Kernel::instance().setEvent(h);
    }
    std::lock_guard lock(captureMutex_);
    if (capture_) capture_(captureUser_, out, frames, outChannels);
    sink_.write(out, frames);
}

void Mixer::mix(int16_t* out, uint32_t frames) {
    const uint32_t outChannels = outputChannels();
    while (frames > 0) {
        uint32_t n = std::min(frames, kBlockFrames);
        mixFrames(out, n);
        out += n * outChannels;
        frames -= n;
    }
}

const int16_t* Mixer::mixBlock() {
    mixFrames(block_.data(), kBlockFrames);
    return block_.data();
}

}  // namespace plat
