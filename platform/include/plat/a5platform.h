// Control of the process-wide platform runtime: output, clock, capture and test hooks.
//
// The runtime starts at the first use of any service (or at a5p_configure) and owns one
// clock, one mixer, one output and the timer service for the whole process. The mixer
// sums every playing secondary buffer of every device into the output format (16-bit,
// 1 or 2 channels, 8000..192000 Hz), in blocks of a few milliseconds.
//
// Clock: real time (the output paces it), or virtual: nothing moves until a5p_advance is
// called, and then timers, buffer notifications, worker threads made by CreateThread and
// mixing all follow the clock in time order, so a run gives the same bytes every time.
#pragma once

#include <plat/dsound.h>
#include <plat/wintypes.h>

enum A5Output : int {
    A5_OUTPUT_DEFAULT = 0,  // A5_AUDIO_OUTPUT from the environment, else the device
    A5_OUTPUT_DEVICE = 1,   // the machine's default audio device; falls back to null
    A5_OUTPUT_NULL = 2,     // no sound: the mix runs and is thrown away (or captured)
    A5_OUTPUT_WAV = 3,      // the mix is written to a 16-bit PCM WAV file
};

// Fields are only ever appended, and zero is the default of each, so a host that
// zero-initialises the record (A5PlatformConfig c{}; or {A5_OUTPUT_NULL, ...}) keeps
// its meaning when the record grows.
struct A5PlatformConfig {
    int output;           // an A5Output
    const char* wavPath;  // for A5_OUTPUT_WAV
    unsigned rate;        // output rate in Hz; 0 means 44100
    unsigned channels;    // 1 or 2; 0 means 2
    int virtualClock;     // non-zero: virtual clock (not with the device output)
    int noEax;            // non-zero: hardware without EAX (see plat/eax.h); also A5_NO_EAX=1
    const char* cdImage = nullptr;  // disc image for the CD audio device; null: A5_CD_IMAGE, else the drive
};

// Sets up the runtime. Only before the runtime has started; returns 0, or -1 when it is
// already running or the configuration is invalid. Without this call the runtime starts
// on first use with A5_OUTPUT_DEFAULT, 44100 Hz stereo and the real clock.
// A5_AUDIO_OUTPUT may be "device", "null" or "wav:PATH"; A5_NO_EAX=1 acts as noEax.
// A5_CD_IMAGE names a disc image (a CUE sheet, or an NRG or TOC image) that the CD audio
// device plays instead of a drive.
//
// Looking for the device (A5_OUTPUT_DEVICE, or the default without A5_AUDIO_OUTPUT) keeps
// the sound libraries' messages about missing hardware quiet for the length of the probe
// only: ALSA's error handler is swapped and put back, and file descriptor 2 points to
// /dev/null until the probe ends. The descriptor belongs to the whole process, so a line
// that another thread writes to standard error during the probe is lost; a host that
// cannot afford that starts the runtime (this call, or a first use) before such threads
// run, or picks the null or WAV output.
PLAT_API int a5p_configure(const A5PlatformConfig* config);

// Stops timers, the output and the clock; later calls into the services fail softly.
// Writes the WAV file's final header. Called automatically at process exit.
// Returns 0, or the errno of the first write of the WAV output that failed (the file is
// then incomplete); a later call returns the same.
PLAT_API int a5p_shutdown();

// Virtual clock: lets the given time pass, running everything due on the way.
// Real clock: sleeps for that long.
PLAT_API void a5p_advance_ns(uint64_t nanoseconds);
PLAT_API uint64_t a5p_now_ns();
PLAT_API int a5p_is_virtual_clock();

PLAT_API unsigned a5p_output_rate();
PLAT_API unsigned a5p_output_channels();
// What the output is really doing after fallbacks: an A5Output value.
PLAT_API int a5p_output_kind();
// Frames mixed since the runtime started.
PLAT_API uint64_t a5p_frames_mixed();

// Receives every mixed block (interleaved 16-bit samples, frames × channels), on the
// mixing thread, in order. One receiver at a time; null removes it.
using A5CaptureFn = void (*)(void* user, const int16_t* samples, size_t frames, unsigned channels);
PLAT_API void a5p_set_capture(A5CaptureFn fn, void* user);

// Test hooks.
// Marks a buffer lost: Lock/Play answer DSERR_BUFFERLOST and GetStatus reports
// DSBSTATUS_BUFFERLOST until Restore; restoreFailures makes that many Restore calls fail
// with DSERR_BUFFERLOST first.
PLAT_API void a5p_mark_buffer_lost(IDirectSoundBuffer* buffer, unsigned restoreFailures);
// The next `count` device creations fail: DirectSoundCreate(8) with DSERR_NODRIVER,
// CoCreateInstance of a sound class (plain or EAX) with REGDB_E_CLASSNOTREG.
PLAT_API void a5p_fail_device_creations(unsigned count);
// The next `count` Initialize calls of devices made through COM fail with DSERR_NODRIVER,
// as where no driver answers.
PLAT_API void a5p_fail_device_initializations(unsigned count);
// The next `count` timeSetEvent calls return 0.
PLAT_API void a5p_fail_timer_creations(unsigned count);
// The next `count` threads that CreateThread makes cannot start, as when the system has no
// threads left: CreateThread returns null.
PLAT_API void a5p_fail_thread_creations(unsigned count);
// The next `count` mixerOpen calls fail with MMSYSERR_NODRIVER.
PLAT_API void a5p_fail_mixer_opens(unsigned count);

// The disc the CD audio device finds at its next open: an image file, the machine's
// default CD drive for "", or with null the configured choice (cdImage, else
// A5_CD_IMAGE, else the drive).
// A missing or unreadable image counts as no drive.
PLAT_API void a5p_set_cd_image(const char* path);

// Windows of the host: any address the host chose stands for a window. Registering makes
// the calling thread its owner: messages posted to the window (PostMessageA, the CD audio
// device's completion notices) wait in that thread's queue. Unregistering drops them.
PLAT_API int a5p_register_window(HWND window);
PLAT_API void a5p_unregister_window(HWND window);

using A5MessageBoxHook = int (*)(void* user, const char* text, const char* caption, unsigned type);
PLAT_API void a5p_set_message_box_hook(A5MessageBoxHook hook, void* user);

// Resources of the host program, found by FindResourceA. The bytes are copied.
PLAT_API int a5p_register_resource(const char* name, const char* type, const void* data, size_t size);

// COM classes for CoCreateInstance. The factory makes a new object and answers iid.
using A5ClassFactory = HRESULT (*)(REFIID iid, void** object);
PLAT_API int a5p_register_class(REFCLSID clsid, A5ClassFactory factory);
