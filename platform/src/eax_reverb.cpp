#define AL_ALEXT_PROTOTYPES
#include "eax_reverb.h"

#include <AL/alext.h>
#include <AL/efx-presets.h>
#include <AL/efx.h>

#include <algorithm>

#include <plat/eax.h>

namespace plat {

namespace {

// OpenAL Soft's EFX presets of the 26 EAX 2.0 environments, in EAX order.
const EFXEAXREVERBPROPERTIES kPresets[EAX_ENVIRONMENT_COUNT] = {
    EFX_REVERB_PRESET_GENERIC,     EFX_REVERB_PRESET_PADDEDCELL,      EFX_REVERB_PRESET_ROOM,
    EFX_REVERB_PRESET_BATHROOM,    EFX_REVERB_PRESET_LIVINGROOM,      EFX_REVERB_PRESET_STONEROOM,
    EFX_REVERB_PRESET_AUDITORIUM,  EFX_REVERB_PRESET_CONCERTHALL,     EFX_REVERB_PRESET_CAVE,
    EFX_REVERB_PRESET_ARENA,       EFX_REVERB_PRESET_HANGAR,          EFX_REVERB_PRESET_CARPETEDHALLWAY,
    EFX_REVERB_PRESET_HALLWAY,     EFX_REVERB_PRESET_STONECORRIDOR,   EFX_REVERB_PRESET_ALLEY,
    EFX_REVERB_PRESET_FOREST,      EFX_REVERB_PRESET_CITY,            EFX_REVERB_PRESET_MOUNTAINS,
    EFX_REVERB_PRESET_QUARRY,      EFX_REVERB_PRESET_PLAIN,           EFX_REVERB_PRESET_PARKINGLOT,
    EFX_REVERB_PRESET_SEWERPIPE,   EFX_REVERB_PRESET_UNDERWATER,      EFX_REVERB_PRESET_DRUGGED,
    EFX_REVERB_PRESET_DIZZY,       EFX_REVERB_PRESET_PSYCHOTIC,
};

constexpr float kSampleScale = 32768.0f;

// Makes `context` current on this thread for the life of the scope.
class ThreadContext {
public:
    explicit ThreadContext(ALCcontext* context) { alcSetThreadContext(context); }
    ~ThreadContext() { alcSetThreadContext(nullptr); }
    ThreadContext(const ThreadContext&) = delete;
    ThreadContext& operator=(const ThreadContext&) = delete;
};

}  // namespace

std::unique_ptr<EaxReverb> EaxReverb::create(uint32_t rate, uint32_t channels, std::string& failure) {
    if (channels < 1 || channels > 2) {
        failure = "the output has neither one nor two channels";
        return nullptr;
    }
    std::unique_ptr<EaxReverb> reverb(new EaxReverb(channels));
    if (!reverb->open(rate, failure)) return nullptr;
    return reverb;
}

EaxReverb::EaxReverb(uint32_t channels) : channels_(channels) { scratch_.resize(kChunkFrames * channels); }

bool EaxReverb::open(uint32_t rate, std::string& failure) {
    if (!alcIsExtensionPresent(nullptr, "ALC_SOFT_loopback") ||
        !alcIsExtensionPresent(nullptr, "ALC_EXT_thread_local_context")) {
        failure = "OpenAL has no loopback device";
        return false;
    }
    device_ = alcLoopbackOpenDeviceSOFT(nullptr);
    if (!device_) {
        failure = "no OpenAL loopback device";
        return false;
    }
    const ALCint outChannels = channels_ == 2 ? ALC_STEREO_SOFT : ALC_MONO_SOFT;
    if (!alcIsExtensionPresent(device_, "ALC_EXT_EFX") ||
        !alcIsRenderFormatSupportedSOFT(device_, static_cast<ALCsizei>(rate), outChannels, ALC_FLOAT_SOFT)) {
        failure = "OpenAL renders no EFX at this output format";
        return false;
    }
    // Everything that shapes the render is asked for here, over any setting of OpenAL
    // Soft's configuration files: plain panning (no HRTF), no output limiter, one send.
    const ALCint attributes[] = {ALC_FORMAT_CHANNELS_SOFT, outChannels, ALC_FORMAT_TYPE_SOFT, ALC_FLOAT_SOFT,
                                 ALC_FREQUENCY, static_cast<ALCint>(rate), ALC_HRTF_SOFT, ALC_FALSE,
                                 ALC_OUTPUT_LIMITER_SOFT, ALC_FALSE, ALC_MAX_AUXILIARY_SENDS, 1,
                                 ALC_MONO_SOURCES, 1, ALC_STEREO_SOURCES, 1, 0};
    context_ = alcCreateContext(device_, attributes);
    if (!context_) {
        failure = "no OpenAL context";
        return false;
    }
    ALCint sends = 0, hrtf = ALC_TRUE;
    alcGetIntegerv(device_, ALC_MAX_AUXILIARY_SENDS, 1, &sends);
    alcGetIntegerv(device_, ALC_HRTF_SOFT, 1, &hrtf);
    if (sends < 1 || hrtf != ALC_FALSE) {
        failure = "OpenAL's configuration leaves no effect send, or forces HRTF";
        return false;
    }

    ThreadContext current(context_);
    if (!alIsExtensionPresent("AL_EXT_FLOAT32") ||
        !alIsExtensionPresent("AL_SOFT_source_resampler")) {
        failure = "OpenAL lacks buffer updates, float buffers or resampler choice";
        return false;
    }
    alGetError();
    alGenEffects(1, &effect_);
    alEffecti(effect_, AL_EFFECT_TYPE, AL_EFFECT_EAXREVERB);
    alGenAuxiliaryEffectSlots(1, &slot_);
    alAuxiliaryEffectSloti(slot_, AL_EFFECTSLOT_AUXILIARY_SEND_AUTO, AL_FALSE);
    alGenFilters(1, &silence_);
    alFilteri(silence_, AL_FILTER_TYPE, AL_FILTER_LOWPASS);
    alFilterf(silence_, AL_LOWPASS_GAIN, 0.0f);
    if (alGetError() != AL_NO_ERROR) {
        failure = "OpenAL has no EAX reverb effect";
        return false;
    }

    ringFormat_ = channels_ == 2 ? AL_FORMAT_STEREO_FLOAT32 : AL_FORMAT_MONO_FLOAT32;
    const std::vector<float> zeros(kRingFrames * channels_, 0.0f);
    alGenBuffers(1, &ring_);
    alBufferData(ring_, ringFormat_, zeros.data(), static_cast<ALsizei>(zeros.size() * sizeof(float)),
                 static_cast<ALsizei>(rate));
    alGenSources(1, &source_);
    alSourcei(source_, AL_SOURCE_RELATIVE, AL_TRUE);
    alSource3f(source_, AL_POSITION, 0.0f, 0.0f, 0.0f);
    alSourcef(source_, AL_ROLLOFF_FACTOR, 0.0f);
    alSourcei(source_, AL_SOURCE_RESAMPLER_SOFT, 0);  // point: at pitch 1 an exact copy
    alSourcei(source_, AL_DIRECT_FILTER, static_cast<ALint>(silence_));
    alSource3i(source_, AL_AUXILIARY_SEND_FILTER, static_cast<ALint>(slot_), 0, AL_FILTER_NULL);
    alSourcei(source_, AL_BUFFER, static_cast<ALint>(ring_));
    alSourcei(source_, AL_LOOPING, AL_TRUE);
    alSourcePlay(source_);
    if (alGetError() != AL_NO_ERROR) {
        failure = "OpenAL refused the ring buffer source";
        return false;
    }
    return true;
}

EaxReverb::~EaxReverb() {
    if (context_) {
        {
            ThreadContext current(context_);
            if (source_) {
                alSourceStop(source_);
                alDeleteSources(1, &source_);
            }
            if (ring_) alDeleteBuffers(1, &ring_);
            if (slot_) alDeleteAuxiliaryEffectSlots(1, &slot_);
            if (effect_) alDeleteEffects(1, &effect_);
            if (silence_) alDeleteFilters(1, &silence_);
        }
        alcDestroyContext(context_);
    }
    if (device_) alcCloseDevice(device_);
}

void EaxReverb::select(uint32_t environment) {
    if (environment < EAX_ENVIRONMENT_COUNT) requested_.store(environment, std::memory_order_release);
}

void EaxReverb::applyEnvironment(uint32_t environment) {
    const EFXEAXREVERBPROPERTIES& p = kPresets[environment];
    alEffectf(effect_, AL_EAXREVERB_DENSITY, p.flDensity);
    alEffectf(effect_, AL_EAXREVERB_DIFFUSION, p.flDiffusion);
    alEffectf(effect_, AL_EAXREVERB_GAIN, p.flGain);
    alEffectf(effect_, AL_EAXREVERB_GAINHF, p.flGainHF);
    alEffectf(effect_, AL_EAXREVERB_GAINLF, p.flGainLF);
    alEffectf(effect_, AL_EAXREVERB_DECAY_TIME, p.flDecayTime);
    alEffectf(effect_, AL_EAXREVERB_DECAY_HFRATIO, p.flDecayHFRatio);
    alEffectf(effect_, AL_EAXREVERB_DECAY_LFRATIO, p.flDecayLFRatio);
    alEffectf(effect_, AL_EAXREVERB_REFLECTIONS_GAIN, p.flReflectionsGain);
    alEffectf(effect_, AL_EAXREVERB_REFLECTIONS_DELAY, p.flReflectionsDelay);
    alEffectfv(effect_, AL_EAXREVERB_REFLECTIONS_PAN, p.flReflectionsPan);
    alEffectf(effect_, AL_EAXREVERB_LATE_REVERB_GAIN, p.flLateReverbGain);
    alEffectf(effect_, AL_EAXREVERB_LATE_REVERB_DELAY, p.flLateReverbDelay);
    alEffectfv(effect_, AL_EAXREVERB_LATE_REVERB_PAN, p.flLateReverbPan);
    alEffectf(effect_, AL_EAXREVERB_ECHO_TIME, p.flEchoTime);
    alEffectf(effect_, AL_EAXREVERB_ECHO_DEPTH, p.flEchoDepth);
    alEffectf(effect_, AL_EAXREVERB_MODULATION_TIME, p.flModulationTime);
    alEffectf(effect_, AL_EAXREVERB_MODULATION_DEPTH, p.flModulationDepth);
    alEffectf(effect_, AL_EAXREVERB_AIR_ABSORPTION_GAINHF, p.flAirAbsorptionGainHF);
    alEffectf(effect_, AL_EAXREVERB_HFREFERENCE, p.flHFReference);
    alEffectf(effect_, AL_EAXREVERB_LFREFERENCE, p.flLFReference);
    alEffectf(effect_, AL_EAXREVERB_ROOM_ROLLOFF_FACTOR, p.flRoomRolloffFactor);
    alEffecti(effect_, AL_EAXREVERB_DECAY_HFLIMIT, p.iDecayHFLimit);
    // The slot copies the effect's parameters when the effect is (re)attached.
    alAuxiliaryEffectSloti(slot_, AL_EFFECTSLOT_EFFECT, static_cast<ALint>(effect_));
    applied_ = environment;
}

void EaxReverb::process(float* acc, uint32_t frames, uint32_t channels) {
    const uint32_t environment = requested_.load(std::memory_order_acquire);
    if (environment == kNone || channels != channels_) return;
    ThreadContext current(context_);
    if (environment != applied_) applyEnvironment(environment);
    while (frames > 0) {
        const uint32_t n = std::min(frames, kChunkFrames);
        renderChunk(acc, n);
        acc += n * channels_;
        frames -= n;
    }
}

void EaxReverb::renderChunk(float* acc, uint32_t frames) {
    const uint32_t samples = frames * channels_;
    for (uint32_t i = 0; i < samples; ++i) scratch_[i] = acc[i] * (1.0f / kSampleScale);
    // Into the ring where the source reads next, in two parts when it wraps.
    const ALsizei frameBytes = static_cast<ALsizei>(channels_ * sizeof(float));
    const uint32_t first = std::min(frames, kRingFrames - ringPos_);
    alBufferSubDataSOFT(ring_, ringFormat_, scratch_.data(), static_cast<ALsizei>(ringPos_) * frameBytes,
                        static_cast<ALsizei>(first) * frameBytes);
    if (first < frames)
        alBufferSubDataSOFT(ring_, ringFormat_, scratch_.data() + first * channels_, 0,
                            static_cast<ALsizei>(frames - first) * frameBytes);
    ringPos_ = (ringPos_ + frames) % kRingFrames;
    alcRenderSamplesSOFT(device_, scratch_.data(), static_cast<ALCsizei>(frames));
    for (uint32_t i = 0; i < samples; ++i) acc[i] += scratch_[i] * kSampleScale;
}

}  // namespace plat
