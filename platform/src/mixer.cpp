#include "mixer.h"

#include <algorithm>

#include "kernel.h"
#include "sound_device.h"

namespace plat {

namespace {
// Groups whose buffers all left, kept while the tail of their sound still plays; past
// this many the oldest go at once (when nothing mixes, nothing drains them).
constexpr size_t kMostLeftGroups = 16;
}  // namespace

Mixer::Mixer(uint32_t rate, uint32_t channels, bool formatFixed)
    : rate_(rate), channels_(channels), formatFixed_(formatFixed), kernels_(mixKernels()) {
    for (auto* side : {&sumLeft_, &sumRight_, &scratchLeft_, &scratchRight_}) side->resize(kBlockFrames);
    acc_.resize(kBlockFrames * 2);
    block_.resize(kBlockFrames * 2);
    fired_.reserve(64);
}

void Mixer::add(SoundBuffer* buffer) {
    std::lock_guard lock(mutex_);
    buffers_.push_back(buffer);
}

void Mixer::remove(SoundBuffer* buffer) {
    std::lock_guard lock(mutex_);
    buffers_.erase(std::remove(buffers_.begin(), buffers_.end(), buffer), buffers_.end());
}

RateGroup* Mixer::findGroupLocked(uint32_t rate) {
    for (auto& g : groups_)
        if (g->rate() == rate) return g.get();
    return nullptr;
}

RateGroup* Mixer::joinGroup(uint32_t rate) {
    std::unique_ptr<RateGroup> made;
    for (;;) {
        uint32_t outRate;
        {
            std::lock_guard lock(mutex_);
            RateGroup* group = findGroupLocked(rate);
            if (!group && made && made->outRate() == rate_) {
                groups_.push_back(std::move(made));
                group = groups_.back().get();
            }
            if (group) {
                ++group->users;
                dropIdleGroupsLocked();
                return group;
            }
            outRate = rate_;
        }
        // Built without the lock: a filter can take milliseconds, and blocks go on meanwhile.
        made = std::make_unique<RateGroup>(rate, outRate, kBlockFrames);
    }
}

RateGroup* Mixer::moveToRate(RateGroup* group, uint32_t rate) {
    const uint32_t outRate = outputRate();
    auto filter = rate == outRate ? nullptr : sincFilterFor(rate, outRate);  // without the lock: it may take a while
    {
        std::lock_guard lock(mutex_);
        dropIdleGroupsLocked();
        if (group->rate() == rate) return group;
        if (filter && group->filter() && group->users == 1 && group->outRate() == rate_ && outRate == rate_ &&
            !findGroupLocked(rate)) {
            group->retune(rate, std::move(filter));
            return group;
        }
    }
    RateGroup* joined = joinGroup(rate);
    leaveGroup(group);
    return joined;
}

void Mixer::leaveGroup(RateGroup* group) {
    std::lock_guard lock(mutex_);
    --group->users;
    dropIdleGroupsLocked();
}

void Mixer::dropIdleGroupsLocked() {
    std::erase_if(groups_, [](const auto& g) { return g->users == 0 && g->idle(); });
    size_t left = std::count_if(groups_.begin(), groups_.end(), [](const auto& g) { return g->users == 0; });
    for (auto it = groups_.begin(); left > kMostLeftGroups;) {
        if ((*it)->users == 0) {
            it = groups_.erase(it);
            --left;
        } else {
            ++it;
        }
    }
}

void Mixer::requestOutputFormat(uint32_t rate, uint32_t channels) {
    std::lock_guard lock(mutex_);
    if (formatFixed_ || framesMixed_.load() != 0 || stage_) return;
    rate_ = rate;
    channels_ = channels;
    for (auto& g : groups_) g->retarget(rate);
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
    {
        std::lock_guard lock(mutex_);
        const bool stereo = outChannels == 2;
        std::fill_n(sumLeft_.begin(), frames, 0.0f);
        if (stereo) std::fill_n(sumRight_.begin(), frames, 0.0f);
        fired_.clear();
        const MixPass pass{sumLeft_.data(),    stereo ? sumRight_.data() : nullptr, frames, ++blockNumber_, kernels_,
                           scratchLeft_.data(), scratchRight_.data(),                fired_};
        for (SoundBuffer* b : buffers_) b->mixInto(pass, b->device()->masterGain());
        for (auto& g : groups_) g->convert(pass.number, frames, pass.left, pass.right, kernels_);
        float* acc = sumLeft_.data();
        if (stereo) {
            acc = acc_.data();
            kernels_.interleave(sumLeft_.data(), sumRight_.data(), acc, frames);
        }
        if (stage_) stage_->process(acc, frames, outChannels);
        kernels_.toInt16(acc, out, frames * outChannels);
        framesMixed_ += frames;
        for (HANDLE h : fired_) Kernel::instance().setEvent(h);
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
