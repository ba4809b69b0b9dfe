#include "pcm_converter.h"

#include <samplerate.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace orvox::stream {

namespace {

constexpr float kCentre = 0.70710678f;  // -3 dB

// How much of each Vorbis channel goes to the left and to the right side, by channel count.
struct Fold {
    float left[8];
    float right[8];
};

const Fold kFolds[8] = {
    {{1}, {1}},                                                                // mono
    {{1, 0}, {0, 1}},                                                          // L R
    {{1, kCentre, 0}, {0, kCentre, 1}},                                        // L C R
    {{1, 0, 1, 0}, {0, 1, 0, 1}},                                              // FL FR RL RR
    {{1, kCentre, 0, 1, 0}, {0, kCentre, 1, 0, 1}},                            // FL C FR RL RR
    {{1, kCentre, 0, 1, 0, 0}, {0, kCentre, 1, 0, 1, 0}},                      // ... LFE
    {{1, kCentre, 0, 1, 0, kCentre, 0}, {0, kCentre, 1, 0, 1, kCentre, 0}},    // FL C FR SL SR RC LFE
    {{1, kCentre, 0, 1, 0, 1, 0, 0}, {0, kCentre, 1, 0, 1, 0, 1, 0}},          // FL C FR SL SR RL RR LFE
};

// Sample rates libsamplerate converts between: ratios up to 256 either way.
constexpr double kMostRatio = 256.0;

}  // namespace

PcmConverter::~PcmConverter() { stopResampler(); }

void PcmConverter::stopResampler() {
    if (resampler_ != nullptr) src_delete(resampler_);
    resampler_ = nullptr;
}

void PcmConverter::clear() {
    stopResampler();
    active_ = false;
    begin_ = end_ = 0;
}

bool PcmConverter::configure(int inRate, int inChannels, int outRate, int outChannels) {
    stopResampler();
    active_ = false;
    if (inRate <= 0 || outRate <= 0 || inChannels < 1 || inChannels > 8 || outChannels < 1 || outChannels > 2)
        return false;
    ratio_ = static_cast<double>(outRate) / inRate;
    if (ratio_ > kMostRatio || ratio_ < 1.0 / kMostRatio) return false;
    if (inRate != outRate) {
        int error = 0;
        resampler_ = src_new(SRC_SINC_MEDIUM_QUALITY, outChannels, &error);
        if (resampler_ == nullptr) return false;
    }
    inChannels_ = inChannels;
    outChannels_ = outChannels;
    const auto out = static_cast<size_t>(outChannels);
    folded_.resize(size_t{kMaxPushFrames} * out);
    // One run gives at most the push at the new rate, with what the filter held back.
    const auto runFrames = static_cast<size_t>(std::ceil(kMaxPushFrames * ratio_)) + 1024;
    resampled_.resize(runFrames * out);
    const size_t bytes = (runFrames + kMaxPushFrames) * out * sizeof(int16_t);
    if (waiting_.size() < bytes) waiting_.resize(bytes);
    active_ = true;
    return true;
}

void PcmConverter::push(const int16_t* input, int frames) {
    if (!active_ || frames <= 0) return;
    frames = std::min(frames, kMaxPushFrames);
    const Fold& fold = kFolds[inChannels_ - 1];
    // Wider layouts are scaled so that a side never sums above full level.
    float scale = 1.0f;
    if (inChannels_ > 2) {
        float sum = 0;
        for (int c = 0; c < inChannels_; ++c) sum += fold.left[c];
        scale = 1.0f / sum;
    }
    for (int f = 0; f < frames; ++f) {
        const int16_t* in = input + static_cast<size_t>(f) * static_cast<size_t>(inChannels_);
        float left = 0;
        float right = 0;
        for (int c = 0; c < inChannels_; ++c) {
            left += fold.left[c] * in[c];
            right += fold.right[c] * in[c];
        }
        float* out = folded_.data() + static_cast<size_t>(f) * static_cast<size_t>(outChannels_);
        if (outChannels_ == 2) {
            out[0] = left * scale;
            out[1] = right * scale;
        } else {
            out[0] = 0.5f * (left + right) * scale;
        }
    }
    if (resampler_ != nullptr) {
        resample(folded_.data(), frames, false);
    } else {
        store(folded_.data(), static_cast<size_t>(frames));
    }
}

void PcmConverter::finish() {
    if (!active_) return;
    if (resampler_ != nullptr) resample(folded_.data(), 0, true);
    stopResampler();
    active_ = false;
}

void PcmConverter::resample(const float* input, long frames, bool last) {
    const auto out = static_cast<size_t>(outChannels_);
    for (;;) {
        SRC_DATA data{};
        data.data_in = input;
        data.input_frames = frames;
        data.data_out = resampled_.data();
        data.output_frames = static_cast<long>(resampled_.size() / out);
        data.src_ratio = ratio_;
        data.end_of_input = last ? 1 : 0;
        if (src_process(resampler_, &data) != 0) return;
        store(resampled_.data(), static_cast<size_t>(data.output_frames_gen));
        input += static_cast<size_t>(data.input_frames_used) * out;
        frames -= data.input_frames_used;
        const bool progressed = data.input_frames_used > 0 || data.output_frames_gen > 0;
        if (!progressed || (frames == 0 && !last)) return;
    }
}

void PcmConverter::store(const float* pcm, size_t frames) {
    const size_t samples = frames * static_cast<size_t>(outChannels_);
    compact();
    // Sized at configure for every run; grows only if a resampler gives more than it said.
    if (waiting_.size() - end_ < samples * sizeof(int16_t)) waiting_.resize(end_ + samples * sizeof(int16_t));
    for (size_t i = 0; i < samples; ++i) {
        const auto s = static_cast<int16_t>(std::clamp(std::nearbyint(pcm[i]), -32768.0f, 32767.0f));
        std::memcpy(waiting_.data() + end_ + i * sizeof(int16_t), &s, sizeof s);
    }
    end_ += samples * sizeof(int16_t);
}

void PcmConverter::compact() {
    if (begin_ == 0) return;
    std::memmove(waiting_.data(), waiting_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
}

void PcmConverter::append(const uint8_t* pcm, size_t bytes) {
    compact();
    if (waiting_.size() - end_ < bytes) waiting_.resize(end_ + bytes);
    std::memcpy(waiting_.data() + end_, pcm, bytes);
    end_ += bytes;
}

size_t PcmConverter::take(uint8_t* out, size_t bytes) {
    const auto frameBytes = static_cast<size_t>(std::max(outChannels_, 1)) * sizeof(int16_t);
    const size_t moved = std::min(bytes, end_ - begin_) / frameBytes * frameBytes;
    std::memcpy(out, waiting_.data() + begin_, moved);
    begin_ += moved;
    if (begin_ == end_) begin_ = end_ = 0;
    return moved;
}

}  // namespace orvox::stream
