#include "rate_group.h"

#include <algorithm>
#include <cstring>

namespace plat {

RateGroup::RateGroup(uint32_t rate, uint32_t outRate, uint32_t blockFrames) : rate_(rate), blockFrames_(blockFrames) {
    retarget(outRate);
}

void RateGroup::retarget(uint32_t outRate) {
    outRate_ = outRate;
    phase_ = 0;
    block_ = 0;
    silentFrames_ = UINT32_MAX;
    filter_.reset();
    install(rate_ == outRate ? nullptr : sincFilterFor(rate_, outRate));
}

void RateGroup::retune(uint32_t rate, std::shared_ptr<const SincFilter> filter) {
    const uint32_t oldUp = filter_ ? filter_->up : 1;
    rate_ = rate;
    install(std::move(filter));
    if (filter_) phase_ = static_cast<uint32_t>(uint64_t(phase_) * filter_->up / oldUp);
}

void RateGroup::install(std::shared_ptr<const SincFilter> filter) {
    const uint32_t oldTaps = filter_ ? filter_->taps : 0;
    filter_ = std::move(filter);
    if (!filter_) {
        left_.clear();
        right_.clear();
        reach_ = 0;
        return;
    }
    const SincFilter& f = *filter_;
    // History, the most a block consumes, and the look-ahead of its last output, rounded
    // up as in begin().
    const uint64_t mostConsumed = (uint64_t(f.up) - 1 + uint64_t(blockFrames_) * f.down) / f.up;
    const size_t frames = f.taps + (mostConsumed + f.taps - f.before() + 7) / 8 * 8;
    const uint32_t kept = std::min(oldTaps, f.taps);
    for (std::vector<float>* side : {&left_, &right_}) {
        std::vector<float> sized(frames, 0.0f);
        std::copy_n(side->begin() + (oldTaps - kept), kept, sized.begin() + (f.taps - kept));
        side->swap(sized);
    }
    reach_ = f.taps;
}

void RateGroup::begin(uint64_t block, uint32_t outFrames) {
    const SincFilter& f = *filter_;
    block_ = block;
    fed_ = false;
    consumed_ = static_cast<uint32_t>((uint64_t(phase_) + uint64_t(outFrames) * f.down) / f.up);
    // A whole number of eight-frame steps, which the members add fastest; the filter reads
    // no further than its look-ahead.
    span_ = (consumed_ + f.taps - f.before() + 7) / 8 * 8;
    std::fill_n(left_.begin() + f.taps, span_, 0.0f);
    std::fill_n(right_.begin() + f.taps, span_, 0.0f);
}

RateGroup::MemberInput RateGroup::memberInput(uint64_t block, uint32_t outFrames) {
    if (block_ != block) begin(block, outFrames);
    fed_ = true;
    const uint32_t taps = filter_->taps;
    return {left_.data() + taps, right_.data() + taps, consumed_, span_};
}

void RateGroup::convert(uint64_t block, uint32_t outFrames, float* outLeft, float* outRight,
                        const MixKernels& kernels) {
    if (!filter_) return;
    if (block_ != block) {
        if (idle()) return;  // the phase can wait: nobody hears where it stands
        begin(block, outFrames);
    }
    const SincFilter& f = *filter_;
    phase_ = kernels.resample(f, left_.data(), right_.data(), phase_, outFrames, outLeft, outRight);
    // The last `taps` frames before the new position become the history.
    std::memmove(left_.data(), left_.data() + consumed_, f.taps * sizeof(float));
    std::memmove(right_.data(), right_.data() + consumed_, f.taps * sizeof(float));
    silentFrames_ = fed_ ? 0 : (silentFrames_ > UINT32_MAX - consumed_ ? UINT32_MAX : silentFrames_ + consumed_);
}

}  // namespace plat
