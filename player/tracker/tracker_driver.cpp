#include "tracker_driver.h"

#include <mikmod.h>
#include <plat/dsound.h>
#include <plat/mmsystem.h>
#include <plat/owned.h>

#include <mutex>

namespace orvox::tracker::output {
namespace {

constexpr DWORD kBufferMs = 200;        // what the device may have queued ahead of its play cursor
constexpr UINT kRefillPeriodMs = 20;    // a tenth of the buffer: late ticks still find audio queued
constexpr UINT kRefillResolutionMs = 5;

using DevicePtr = plat::ComPtr<IDirectSound>;
using BufferPtr = plat::ComPtr<IDirectSoundBuffer>;

// The driver's device and ring buffer. The refill runs on the timer thread inside
// MikMod_Update; the pause entry is also called straight from the script thread, so the
// buffer and cursors have a lock of their own (always taken after the library's).
struct Output {
    std::mutex lock;
    DevicePtr device;  // declared first: released after its buffer
    BufferPtr buffer;
    bool mixerReady = false;  // VC_Init succeeded
    bool playing = false;     // between PlayStart and PlayStop
    DWORD size = 0;           // bytes, a whole number of frames
    DWORD frameBytes = 0;
    DWORD nextWrite = 0;  // where the next refill writes
    DWORD lastPlay = 0;   // play cursor seen by the last refill
    DWORD queued = 0;     // bytes written ahead of lastPlay
    UINT refillTimer = 0;  // touched only by startRefill/stopRefill (script thread)
};

// Lives until the player lets go of the tracker library (release()), which first kills
// the refill timer: no tick can reach it afterwards.
Output*& outputSlot() {
    static Output* slot = new Output;
    return slot;
}

Output& output() { return *outputSlot(); }

DWORD alignUp(DWORD bytes, DWORD frame) { return (bytes + frame - 1) / frame * frame; }

void fillSilence(void* part, DWORD bytes) {
    if (part != nullptr && bytes != 0) VC_SilenceBytes(static_cast<SBYTE*>(part), bytes);
}

void fillMix(void* part, DWORD bytes) {
    if (part != nullptr && bytes != 0) VC_WriteBytes(static_cast<SBYTE*>(part), bytes);
}

// Fills the free part of the ring. With `silence`, the output goes quiet from the
// device's write cursor on, dropping what was mixed ahead, so a pause is heard at once.
void refill(bool silence) noexcept {
    Output& out = output();
    std::lock_guard guard(out.lock);
    if (!out.buffer || !out.playing) return;

    DWORD play = 0;
    DWORD write = 0;
    if (FAILED(out.buffer->GetCurrentPosition(&play, &write))) return;
    const DWORD played = (play + out.size - out.lastPlay) % out.size;
    const DWORD claimed = alignUp((write + out.size - play) % out.size, out.frameBytes);
    out.lastPlay = play;
    if (silence || played > out.queued || out.queued - played < claimed) {
        // Paused, or the device overtook what was queued: go on right after its write cursor.
        out.nextWrite = (play + claimed) % out.size;
        out.queued = claimed;
    } else {
        out.queued -= played;
    }
    // One frame stays free so that a full ring never looks empty.
    const DWORD room = out.size - out.frameBytes - out.queued;
    if (room == 0 || room > out.size) return;

    void* part1 = nullptr;
    void* part2 = nullptr;
    DWORD bytes1 = 0;
    DWORD bytes2 = 0;
    const HRESULT locked = out.buffer->Lock(out.nextWrite, room, &part1, &bytes1, &part2, &bytes2, 0);
    if (locked == DSERR_BUFFERLOST) {
        // Start over once the device gives the buffer back; the next tick finds nothing queued.
        if (SUCCEEDED(out.buffer->Restore())) out.buffer->Play(0, 0, DSBPLAY_LOOPING);
        out.queued = 0;
        return;
    }
    if (FAILED(locked)) return;
    if (silence) {
        fillSilence(part1, bytes1);
        fillSilence(part2, bytes2);
    } else {
        fillMix(part1, bytes1);
        fillMix(part2, bytes2);
    }
    out.buffer->Unlock(part1, bytes1, part2, bytes2);
    out.nextWrite = (out.nextWrite + room) % out.size;
    out.queued += room;
}

// ---- driver entries (called by libmikmod with its lock held) ----

void driverCommandLine(const CHAR*) noexcept {}  // the driver has no options

BOOL driverIsPresent() noexcept { return 1; }  // whether a device opens is only known at Init

int driverInit() noexcept {
    if ((md_mode & DMODE_FLOAT) != 0) return 1;  // the device takes integer PCM only
    const WORD channels = (md_mode & DMODE_STEREO) != 0 ? 2 : 1;
    const WORD bits = (md_mode & DMODE_16BITS) != 0 ? 16 : 8;
    const auto frameBytes = static_cast<WORD>(channels * bits / 8);
    WAVEFORMATEX format{WAVE_FORMAT_PCM, channels, md_mixfreq, DWORD{md_mixfreq} * frameBytes, frameBytes, bits, 0};

    IDirectSound* rawDevice = nullptr;
    if (FAILED(DirectSoundCreate(nullptr, &rawDevice, nullptr))) return 1;
    DevicePtr device(rawDevice);
    device->SetCooperativeLevel(nullptr, DSSCL_PRIORITY);

    const DWORD frames = md_mixfreq * kBufferMs / 1000;
    DSBUFFERDESC desc{};
    desc.dwSize = sizeof desc;
    desc.dwFlags = DSBCAPS_GETCURRENTPOSITION2;
    desc.dwBufferBytes = frames * format.nBlockAlign;
    desc.lpwfxFormat = &format;
    IDirectSoundBuffer* rawBuffer = nullptr;
    if (FAILED(device->CreateSoundBuffer(&desc, &rawBuffer, nullptr))) return 1;
    BufferPtr buffer(rawBuffer);

    if (VC_Init() != 0) return 1;

    Output& out = output();
    std::lock_guard guard(out.lock);
    out.device = std::move(device);
    out.buffer = std::move(buffer);
    out.mixerReady = true;
    out.playing = false;
    out.size = desc.dwBufferBytes;
    out.frameBytes = format.nBlockAlign;
    return 0;
}

// Also called after a failed Init, with whatever Init had made.
void driverExit() noexcept {
    Output& out = output();
    std::lock_guard guard(out.lock);
    if (out.mixerReady) VC_Exit();
    out.mixerReady = false;
    out.playing = false;
    if (out.buffer) out.buffer->Stop();
    out.buffer.reset();
    out.device.reset();
}

// The device format is fixed at Init; mixing settings apply at the next MikMod_Init.
// (Re-initialising the mixer here would free samples the player still mixes.)
int driverReset() noexcept { return 0; }

int driverPlayStart() noexcept {
    if (VC_PlayStart() != 0) return 1;
    Output& out = output();
    std::lock_guard guard(out.lock);
    if (!out.buffer) return 1;
    void* part1 = nullptr;
    void* part2 = nullptr;
    DWORD bytes1 = 0;
    DWORD bytes2 = 0;
    if (SUCCEEDED(out.buffer->Lock(0, 0, &part1, &bytes1, &part2, &bytes2, DSBLOCK_ENTIREBUFFER))) {
        fillSilence(part1, bytes1);
        fillSilence(part2, bytes2);
        out.buffer->Unlock(part1, bytes1, part2, bytes2);
    }
    out.buffer->SetCurrentPosition(0);
    out.nextWrite = 0;
    out.lastPlay = 0;
    out.queued = 0;
    out.playing = true;
    out.buffer->Play(0, 0, DSBPLAY_LOOPING);
    return 0;
}

void driverPlayStop() noexcept {
    {
        Output& out = output();
        std::lock_guard guard(out.lock);
        out.playing = false;
        if (out.buffer) out.buffer->Stop();
    }
    VC_PlayStop();
}

void driverUpdate() noexcept { refill(false); }

void driverPause() noexcept { refill(true); }

}  // namespace

MDRIVER& driver() {
    static MDRIVER record = {
        .next = nullptr,
        .Name = "Platform sound buffer",
        .Version = "Platform sound buffer driver v1.0",
        .HardVoiceLimit = 0,
        .SoftVoiceLimit = 255,
        .Alias = "platsb",
        .CmdLineHelp = nullptr,
        .CommandLine = driverCommandLine,
        .IsPresent = driverIsPresent,
        .SampleLoad = VC_SampleLoad,
        .SampleUnload = VC_SampleUnload,
        .FreeSampleSpace = VC_SampleSpace,
        .RealSampleLength = VC_SampleLength,
        .Init = driverInit,
        .Exit = driverExit,
        .Reset = driverReset,
        .SetNumVoices = VC_SetNumVoices,
        .PlayStart = driverPlayStart,
        .PlayStop = driverPlayStop,
        .Update = driverUpdate,
        .Pause = driverPause,
        .VoiceSetVolume = VC_VoiceSetVolume,
        .VoiceGetVolume = VC_VoiceGetVolume,
        .VoiceSetFrequency = VC_VoiceSetFrequency,
        .VoiceGetFrequency = VC_VoiceGetFrequency,
        .VoiceSetPanning = VC_VoiceSetPanning,
        .VoiceGetPanning = VC_VoiceGetPanning,
        .VoicePlay = VC_VoicePlay,
        .VoiceStop = VC_VoiceStop,
        .VoiceStopped = VC_VoiceStopped,
        .VoiceGetPosition = VC_VoiceGetPosition,
        .VoiceRealVolume = VC_VoiceRealVolume,
    };
    return record;
}

namespace {
// Each tick lets libmikmod call update (or pause, while the player is paused) under its lock.
void refillTick(UINT, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR) noexcept { MikMod_Update(); }
}  // namespace

bool startRefill() {
    Output& out = output();
    if (out.refillTimer == 0) {
        out.refillTimer = timeSetEvent(kRefillPeriodMs, kRefillResolutionMs, refillTick, 0,
                                       TIME_PERIODIC | TIME_CALLBACK_FUNCTION);
    }
    return out.refillTimer != 0;
}

void stopRefill() {
    Output& out = output();
    if (out.refillTimer != 0) timeKillEvent(out.refillTimer);
    out.refillTimer = 0;
}

void release() {
    Output*& slot = outputSlot();
    if (slot == nullptr) return;
    stopRefill();
    delete slot;
    slot = nullptr;
}

}  // namespace orvox::tracker::output
