// The reverb of the EAX 2.0 environments on the process's mixed output.
//
// Rendered by OpenAL Soft's EAX reverb (AL_EFFECT_EAXREVERB) through a loopback device:
// no real device and no mixing thread of its own; we hand it each mixed block and take
// the wet signal back in the same call. Each environment uses OpenAL Soft's EFX preset
// that carries the EAX 2.0 preset's parameters (room and room HF levels, decay time and
// HF ratio, reflections and reverb levels and delays, diffusion, density from the
// environment size, air absorption).
//
// The mixed block goes into one looping ring buffer that a source plays at pitch 1 with
// the point resampler: it reads exactly the frames written just before the render, so
// the wet signal lines up with the dry one sample for sample and adds no latency beyond
// the environment's own delays. The source's direct path is silenced; only its send to
// the effect slot is heard, and the wet signal is added to the dry mix, which is left as
// it was.
//
// Threads: create and the destructor on any one thread while the stage is not in the
// mixer; select from any thread; process on the mixing thread. An environment change is
// an atomic hand-over that the next block applies; after the first change of each kind
// nothing is allocated per block.
#pragma once

#include <AL/al.h>
#include <AL/alc.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "mix_stage.h"

namespace plat {

class EaxReverb final : public MixStage {
public:
    // Null, with the reason, when OpenAL Soft cannot give a loopback context with the EAX
    // reverb for this format (rate in Hz, 1 or 2 channels).
    static std::unique_ptr<EaxReverb> create(uint32_t rate, uint32_t channels, std::string& failure);
    ~EaxReverb() override;
    EaxReverb(const EaxReverb&) = delete;
    EaxReverb& operator=(const EaxReverb&) = delete;

    // The environment (EAX_ENVIRONMENT_GENERIC .. _PSYCHOTIC) from the next block on.
    void select(uint32_t environment);

    void process(float* acc, uint32_t frames, uint32_t channels) override;

private:
    EaxReverb(uint32_t channels);
    bool open(uint32_t rate, std::string& failure);
    void applyEnvironment(uint32_t environment);
    void renderChunk(float* acc, uint32_t frames);

    static constexpr uint32_t kNone = ~0u;
    static constexpr uint32_t kRingFrames = 2048;
    static constexpr uint32_t kChunkFrames = 512;

    const uint32_t channels_;
    ALCdevice* device_ = nullptr;
    ALCcontext* context_ = nullptr;
    ALuint ring_ = 0, source_ = 0, effect_ = 0, slot_ = 0, silence_ = 0;
    ALenum ringFormat_ = 0;
    uint32_t ringPos_ = 0;  // the frame the source plays next
    std::atomic<uint32_t> requested_{kNone};
    uint32_t applied_ = kNone;
    std::vector<float> scratch_;  // one chunk: the block scaled to ±1, then the wet signal
};

}  // namespace plat
