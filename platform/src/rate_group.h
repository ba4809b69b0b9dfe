// The buffers that play at one source rate share one rate converter.
//
// In each block every playing member adds its frames, from its own cursor and after its
// own volume and pan, into the group's input at the source rate, and the sum goes
// through the sinc filter once. Conversion is linear, so the output is what converting
// each member alone would give, except that all members share the group's filter phase:
// a buffer that joins starts less than one source frame from where it would start alone.
// The phase steps by the exact rational ratio, so nothing drifts, and every member's
// cursor moves by the same whole number of frames per block.
//
// The filter's history holds the last input frames of the sum. A member that leaves (it
// stops, moves its cursor, changes its rate) leaves its past there, so its end plays out
// through the filter as a band-limited end; one that joins starts from silence, as any
// buffer that starts playing. A group with no member left converts until its history is
// silent, then does nothing. A buffer alone in its group that changes its rate takes the
// group along (retune), history and phase, so a pitch sweep plays without seams; one that
// shares its group leaves it as above and joins the other rate's group.
//
// A group at the output's rate converts nothing: its members add straight into the
// output's sum, frame for frame.
//
// Threads: everything but reach() runs under the mixer's lock. Groups are made and
// retargeted on the threads that create buffers, set frequencies or set the output
// format, where allocating is fine; mixing allocates nothing.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "mix_kernels.h"
#include "resampler.h"

namespace plat {

class RateGroup {
public:
    RateGroup(uint32_t rate, uint32_t outRate, uint32_t blockFrames);
    RateGroup(const RateGroup&) = delete;
    RateGroup& operator=(const RateGroup&) = delete;

    uint32_t rate() const { return rate_; }
    // The output rate the group was made or last retargeted for.
    uint32_t outRate() const { return outRate_; }
    // Null at the output's rate.
    const SincFilter* filter() const { return filter_.get(); }
    // Source frames the mixer may read past the end of a block's span: the filter's
    // length. Any thread.
    uint32_t reach() const { return reach_.load(std::memory_order_relaxed); }

    // The output's rate changed (only while nothing has been mixed).
    void retarget(uint32_t outRate);

    // Takes another source rate with `filter` (for it to the current output rate), keeping
    // the history and the position between source frames: the sound of a buffer alone in
    // the group goes on without a seam.
    void retune(uint32_t rate, std::shared_ptr<const SincFilter> filter);

    // Where a member adds its frames in block `block` of `outFrames` output frames (frame
    // 0 at its cursor): its part of the block.
    struct MemberInput {
        float* left;
        float* right;
        uint32_t consumed;  // the frames the block consumes: the cursor's advance
        uint32_t span;      // the frames to add: those and the filter's look-ahead
    };
    // The first call in a block clears the input.
    MemberInput memberInput(uint64_t block, uint32_t outFrames);

    // After the members of `block` added their frames: converts the sum into the output's
    // sum (outRight null: a mono output in outLeft), or does nothing when no member
    // added and the history is silent.
    void convert(uint64_t block, uint32_t outFrames, float* outLeft, float* outRight, const MixKernels& kernels);

    // Nothing of any member is left to play.
    bool idle() const { return !filter_ || silentFrames_ >= filter_->taps; }

    uint32_t users = 0;  // buffers at this rate; the mixer keeps the count

private:
    void begin(uint64_t block, uint32_t outFrames);
    // Sizes the input for `filter`, keeping the newest history frames that fit.
    void install(std::shared_ptr<const SincFilter> filter);

    uint32_t rate_;
    const uint32_t blockFrames_;
    uint32_t outRate_ = 0;
    std::shared_ptr<const SincFilter> filter_;
    std::atomic<uint32_t> reach_{0};
    uint32_t phase_ = 0;        // accumulator in [0, filter->up)
    // Per side: filter->taps history frames, then the block's frames.
    std::vector<float> left_, right_;
    uint64_t block_ = 0;        // the block the input was last cleared for
    bool fed_ = false;          // a member added in block_
    uint32_t consumed_ = 0;
    uint32_t span_ = 0;
    uint32_t silentFrames_ = UINT32_MAX;  // input frames since a member last added
};

}  // namespace plat
