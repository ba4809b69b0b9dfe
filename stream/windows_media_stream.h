// The Windows Media kind of stream: every file that no other kind took. The platform's
// media reader decodes the file and calls this object back, on the reader's thread, with
// statuses and PCM samples; each sample joins a pending queue, and as much of the queue as
// fits behind the play cursor (128 bytes clear of it, in whole 4-byte units) goes into a
// 65536-byte looping sound buffer. No refill timer: the reader's deliveries drive the
// writing, so what is written is heard about one buffer duration later.
//
// - COM object: the list that holds the stream owns the reference it is made with and
//   shuts the stream down before giving it up; the reader holds another while it is open.
// - At the end of the file a looping stream starts the reader over. A stream played once
//   stops its reader (whose stopped status clears `playing`), writes what is still pending
//   and then silence, stops the buffer once everything written has played, and reports
//   itself ended: the player shuts it down (reader and buffer released) on the script
//   thread at its next call. A looping file that delivered nothing since its last start
//   ends the same way instead of restarting.
// - Opening and closing wait on two process-wide named events: one stream at a time does
//   so, whichever thread it runs on, so no stream takes another's signal.
// - `endEvent` is Orvox_Play's: signalled at every end of the file until Orvox_Play, done
//   waiting, calls forgetEndEvent and closes it.
// - Threads: play, the controls and shutdown on the script thread; OnStatus and OnSample on
//   the reader's; fade and end ticks on the timer thread. The queue, the write position
//   and every call on the buffer are under the buffer lock.
#pragma once

#include <plat/dsound.h>
#include <plat/wmsdk.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "buffer_stream.h"
#include "pcm_queue.h"
#include "ring_tail.h"
#include "sound_stream.h"
#include "timer_slot.h"

namespace orvox::stream {

// Room for the reader's output format with its extra bytes; longer ones are cut.
inline constexpr size_t kMaxOutputFormatBytes = 1024;

class WindowsMediaStream final : public SoundStream, public IWMReaderCallback {
public:
    using CreateReader = HRESULT (*)(IUnknown* certificate, DWORD rights, IWMReader** reader);

    // `createReader` makes the reader at play (WMCreateReader but in tests).
    explicit WindowsMediaStream(CreateReader createReader = &WMCreateReader);

    // No interface is handed out, not even IUnknown.
    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT OnStatus(WMT_STATUS status, HRESULT hr, WMT_ATTR_DATATYPE type, BYTE* value, void* context) override;
    HRESULT OnSample(DWORD output, QWORD sampleTime, QWORD sampleDuration, DWORD flags, INSSBuffer* sample,
                     void* context) override;

    // Opens `path` with a new reader and starts it; logs its own failure lines. A failed
    // play keeps nothing open.
    bool play(const char* path, int32_t loop, HANDLE endEvent, IDirectSound* directSound);
    // Orvox_Play is about to close the end event: it is not signalled any more.
    void forgetEndEvent();

    void stop() override;
    void togglePause() override;
    void shutdown() override;

    const WAVEFORMATEX& format() const { return format_; }
    // The reader's output format as copied at play: 18 bytes and its extra bytes, cut at
    // kMaxOutputFormatBytes.
    size_t outputFormatBytes() const { return outputFormatBytes_; }
    const uint8_t* outputFormat() const { return outputFormat_; }
    bool hasReader() const;
    size_t pendingBytes() const;
    DWORD writePosition() const;
    // The pending queue's block: it stops growing once playback is steady.
    size_t pendingCapacity() const;

private:
    ~WindowsMediaStream() override;

    bool failPlay(const char* line);
    void endOfData(bool restartIfLooping);
    void startEndTicks();
    void signalEnd();
    // The writing step of a delivered sample, under the buffer lock.
    void writeBehindCursor();
    // One step of the end of a stream played once, under the buffer lock: what is pending,
    // then silence; true once everything written has been heard.
    bool writeTail();
    bool lockAndCopy(DWORD bytes, size_t dataBytes);
    void restoreBuffer();
    static void endTick(UINT timerId, UINT message, DWORD_PTR user, DWORD_PTR, DWORD_PTR);
    // Closes and releases the reader, waiting for its closed status; the result of Close.
    HRESULT closeReader();

    const CreateReader createReader_;
    std::atomic<ULONG> refCount_{1};
    char path_[kMaxPathChars] = {};
    IDirectSound* directSound_ = nullptr;

    std::mutex endEventLock_;
    HANDLE endEvent_ = nullptr;  // Orvox_Play's, until forgotten

    // Guards `reader_` for the calls that never wait; Close and its wait run under
    // `releaseLock_` instead, which the reader's own callbacks never take.
    mutable std::mutex readerLock_;
    IWMReader* reader_ = nullptr;
    std::mutex releaseLock_;
    std::atomic<HRESULT> openResult_{S_OK};
    HANDLE openedEvent_ = nullptr;
    HANDLE closedEvent_ = nullptr;
    // Something was delivered since the reader last started (reader's thread only).
    bool deliveredSincePass_ = false;

    WAVEFORMATEX format_{};
    DSBUFFERDESC bufferDesc_{};
    uint8_t outputFormat_[kMaxOutputFormatBytes] = {};
    size_t outputFormatBytes_ = 0;

    // Under bufferLock_.
    PcmQueue pending_;
    DWORD writePosition_ = 0;
    bool halted_ = false;  // stopped or shut down by the script: the end ticks do nothing
    bool ending_ = false;  // a stream played once has all its data
    RingTail tail_{kStreamBufferBytes};
    TimerSlot endTimer_;
};

// The list's reference: the stream is shut down (its reader closed, so no callback comes
// any more) before the reference is given up.
struct ShutDownAndRelease {
    void operator()(WindowsMediaStream* stream) const;
};
using WindowsMediaStreamRef = std::unique_ptr<WindowsMediaStream, ShutDownAndRelease>;

// A fresh stream with volume 100, nothing open.
WindowsMediaStreamRef makeWindowsMediaStream(WindowsMediaStream::CreateReader createReader = &WMCreateReader);

}  // namespace orvox::stream
