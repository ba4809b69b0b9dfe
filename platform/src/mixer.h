// The process-wide mixer: sums every playing secondary buffer into the output format,
// block by block, clips to 16 bits, advances play cursors, signals the notifications
// they passed, and hands each block to the capture receiver and the WAV sink.
//
// Buffers at the output's rate add straight into the sum; the others add into the rate
// group of their rate (rate_group.h), and each group's sum is converted once per block.
//
// Threads: blocks are mixed on the output's thread (or on the thread that advances the
// virtual clock); buffers, rates and the stage are set from any thread. Lock order: a
// buffer's frequency lock (SetFrequency), then the mixer's lock, then a buffer's lock
// (mixInto), then the kernel's lock (the notifications a block passed, signalled at its end
// under the mixer's lock). The stage and the rate groups run under the mixer's lock and
// take none of these. A buffer never calls into the mixer while it holds its own lock, and
// the capture receiver runs under the capture lock alone, after the mixer's lock is released.
#pragma once

#include <plat/a5platform.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "mix_kernels.h"
#include "mix_stage.h"
#include "rate_group.h"
#include "sound_buffer.h"
#include "wav_writer.h"

namespace plat {

class Mixer {
public:
    Mixer(uint32_t rate, uint32_t channels, bool formatFixed);

    uint32_t outputRate() const { return rate_.load(std::memory_order_relaxed); }
    uint32_t outputChannels() const { return channels_.load(std::memory_order_relaxed); }
    uint32_t blockFrames() const { return kBlockFrames; }
    uint64_t framesMixed() const { return framesMixed_.load(); }

    void add(SoundBuffer* buffer);
    void remove(SoundBuffer* buffer);

    // The group of buffers playing at `rate`, made when none exists; every join is paired
    // with a leave. Not from the mixing thread, nor with a buffer's lock held.
    RateGroup* joinGroup(uint32_t rate);
    void leaveGroup(RateGroup* group);
    // A member of `group` moves to `rate`: the group itself when the buffer is alone in it
    // and no group plays at that rate (retuned, so the sound goes on without a seam), else
    // the group of that rate (and `group` is left). Same threads as joinGroup.
    RateGroup* moveToRate(RateGroup* group, uint32_t rate);

    // A primary buffer's format: becomes the output format while nothing has been mixed,
    // no stage is in place (it was made for the current format) and the host did not fix
    // the format.
    void requestOutputFormat(uint32_t rate, uint32_t channels);

    // Mixes `frames` frames into `out` (interleaved, outputChannels()), in blocks.
    void mix(int16_t* out, uint32_t frames);
    // Mixes exactly one block and returns it.
    const int16_t* mixBlock();

    // The stage that processes each block's sum before rounding, or null for none (the
    // output is then the plain sum). Returns once no block uses the previous stage.
    void setStage(MixStage* stage);

    void setCapture(A5CaptureFn fn, void* user);
    WavWriter& sink() { return sink_; }

    static constexpr uint32_t kBlockFrames = 256;

private:
    void mixFrames(int16_t* out, uint32_t frames);
    void dropIdleGroupsLocked();
    RateGroup* findGroupLocked(uint32_t rate);

    std::atomic<uint32_t> rate_;
    std::atomic<uint32_t> channels_;
    const bool formatFixed_;
    std::atomic<uint64_t> framesMixed_{0};

    const MixKernels& kernels_;

    std::mutex mutex_;  // the buffer list, the groups, the stage and the scratch memory
    std::vector<SoundBuffer*> buffers_;
    std::vector<std::unique_ptr<RateGroup>> groups_;
    MixStage* stage_ = nullptr;
    uint64_t blockNumber_ = 0;
    std::vector<float> sumLeft_, sumRight_;        // the block's sum, per side
    std::vector<float> scratchLeft_, scratchRight_;
    std::vector<float> acc_;                       // the sum interleaved, for the stage
    std::vector<HANDLE> fired_;
    std::vector<int16_t> block_;

    std::mutex captureMutex_;
    A5CaptureFn capture_ = nullptr;
    void* captureUser_ = nullptr;
    WavWriter sink_;
};

}  // namespace plat
