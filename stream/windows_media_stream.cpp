#include "windows_media_stream.h"

#include <plat/mmsystem.h>
#include <plat/objbase.h>
#include <plat/winbase.h>
#include <plat/winnls.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "media_log.h"

namespace orvox::stream {

namespace {

constexpr const char* kOpenedEventName = "45ab58e0-382e-4d1c-ac50-88a5f9601851";
constexpr const char* kClosedEventName = "276095fa-a8e0-48e6-ac61-8b0002345607";
// The writer stays this far behind the play cursor.
constexpr DWORD kCursorMargin = 128;

// Every stream opens the same two named events: whoever waits on one of them holds this,
// so a signal always reaches the stream whose reader gave it.
std::mutex& namedEventsLock() {
    static std::mutex lock;
    return lock;
}

void logError(const char* line) {
    if (log::on()) log::write(line);
}

void printDiagnostic(const char* text) {
    std::fputs(text, stdout);
    std::fflush(stdout);
}

// Forward distance from `from` to `to` in the ring.
DWORD ringDistance(DWORD from, DWORD to) { return to >= from ? to - from : kStreamBufferBytes - from + to; }

}  // namespace

WindowsMediaStream::WindowsMediaStream(CreateReader createReader) : createReader_(createReader) {
    CoInitialize(nullptr);
    openedEvent_ = CreateEventA(nullptr, FALSE, FALSE, kOpenedEventName);
    closedEvent_ = CreateEventA(nullptr, FALSE, FALSE, kClosedEventName);
}

WindowsMediaStream::~WindowsMediaStream() {
    if (openedEvent_ != nullptr) CloseHandle(openedEvent_);
    if (closedEvent_ != nullptr) CloseHandle(closedEvent_);
}

HRESULT WindowsMediaStream::QueryInterface(REFIID, void** object) {
    if (object != nullptr) *object = nullptr;
    return E_NOINTERFACE;
}

ULONG WindowsMediaStream::AddRef() { return ++refCount_; }

ULONG WindowsMediaStream::Release() {
    const ULONG left = --refCount_;
    if (left == 0) delete this;
    return left;
}

bool WindowsMediaStream::play(const char* path, int32_t loop, HANDLE endEvent, IDirectSound* directSound) {
    loop_.store(loop);
    directSound_ = directSound;
    {
        std::lock_guard<std::mutex> guard(endEventLock_);
        endEvent_ = endEvent;
    }
    // The player refuses such names before any source sees them; a name that does not
    // fit cannot be opened here either.
    if (path == nullptr || std::strlen(path) >= kMaxPathChars)
        return failPlay("Error: WMA/WMV/ASF: Couldn't open file in Play\n");
    std::strncpy(path_, path, kMaxPathChars - 1);

    const int wideChars = MultiByteToWideChar(CP_ACP, 0, path_, -1, nullptr, 0);
    std::vector<WCHAR> wideName(static_cast<size_t>(std::max(wideChars, 1)));
    MultiByteToWideChar(CP_ACP, 0, path_, -1, wideName.data(), wideChars);

    IWMReader* reader = nullptr;
    if (openedEvent_ == nullptr || closedEvent_ == nullptr || FAILED(createReader_(nullptr, 0, &reader)) ||
        reader == nullptr)
        return failPlay("Error: WMA/WMV/ASF: Couldn't create reader in Play\n");
    {
        std::lock_guard<std::mutex> guard(readerLock_);
        reader_ = reader;
    }
    bool opening = false;
    {
        std::lock_guard<std::mutex> named(namedEventsLock());
        opening = SUCCEEDED(reader->Open(wideName.data(), this, nullptr));
        if (opening) WaitForSingleObject(openedEvent_, INFINITE);
    }
    if (!opening) {
        // Nothing was opened: the reader goes without a close.
        {
            std::lock_guard<std::mutex> guard(readerLock_);
            reader_ = nullptr;
        }
        reader->Release();
        return failPlay("Error: WMA/WMV/ASF: Couldn't open file in Play\n");
    }
    if (FAILED(openResult_.load())) return failPlay("Error: WMA/WMV/ASF: Couldn't open file in Play\n");

    // Output 0's media type, whose format block is taken as a WAVEFORMATEX.
    IWMOutputMediaProps* props = nullptr;
    DWORD typeBytes = 0;
    std::vector<uint64_t> typeBlock;
    const WM_MEDIA_TYPE* type = nullptr;
    if (SUCCEEDED(reader->GetOutputProps(0, &props)) && props != nullptr &&
        SUCCEEDED(props->GetMediaType(nullptr, &typeBytes)) && typeBytes >= sizeof(WM_MEDIA_TYPE)) {
        typeBlock.resize((typeBytes + sizeof(uint64_t) - 1) / sizeof(uint64_t));
        auto* filled = reinterpret_cast<WM_MEDIA_TYPE*>(typeBlock.data());
        if (SUCCEEDED(props->GetMediaType(filled, &typeBytes))) type = filled;
    }
    if (props != nullptr) props->Release();
    if (type == nullptr || type->pbFormat == nullptr || type->cbFormat < sizeof(WAVEFORMATEX) - sizeof(WORD))
        return failPlay("Error: WMA/WMV/ASF: Couldn't open file in Play\n");
    WAVEFORMATEX output{};
    std::memcpy(&output, type->pbFormat, std::min<size_t>(type->cbFormat, sizeof output));
    if (type->cbFormat < sizeof output) output.cbSize = 0;
    // The format and its extra bytes, as far as the block holds them and they fit.
    outputFormatBytes_ = std::min({sizeof(WAVEFORMATEX) + output.cbSize, static_cast<size_t>(type->cbFormat),
                                   kMaxOutputFormatBytes});
    std::memcpy(outputFormat_, type->pbFormat, outputFormatBytes_);

    format_ = WAVEFORMATEX{};
    format_.wFormatTag = WAVE_FORMAT_PCM;
    format_.nChannels = output.nChannels;
    format_.nSamplesPerSec = output.nSamplesPerSec;
    format_.wBitsPerSample = output.wBitsPerSample;
    format_.nBlockAlign = static_cast<WORD>(output.wBitsPerSample / 8 * output.nChannels);
    format_.nAvgBytesPerSec = output.nBlockAlign * output.nSamplesPerSec;

    IDirectSoundBuffer* buffer = createStreamBuffer(directSound_, format_, bufferDesc_);
    if (buffer == nullptr) return failPlay("Error: WMA/WMV/ASF: Couldn't create sound buffer in Play\n");
    {
        std::lock_guard<std::mutex> guard(bufferLock_);
        buffer_ = buffer;
        // Set before the reader starts, so that its first statuses are not undone.
        playing_.store(1);
        buffer_->Play(0, 0, DSBPLAY_LOOPING);
    }
    deliveredSincePass_ = false;
    if (FAILED(reader->Start(0, 0, 1.0f, nullptr))) {
        playing_.store(0);
        return failPlay("Error: WMA/WMV/ASF: Couldn't start reader in Play\n");
    }
    return true;
}

// Logs the failure and releases what the failed play obtained: nothing stays open or
// running for a stream that never plays.
bool WindowsMediaStream::failPlay(const char* line) {
    logError(line);
    closeReader();
    std::lock_guard<std::mutex> guard(bufferLock_);
    releaseBuffer();
    return false;
}

void WindowsMediaStream::forgetEndEvent() {
    std::lock_guard<std::mutex> guard(endEventLock_);
    endEvent_ = nullptr;
}

void WindowsMediaStream::signalEnd() {
    std::lock_guard<std::mutex> guard(endEventLock_);
    if (endEvent_ != nullptr) SetEvent(endEvent_);
}

HRESULT WindowsMediaStream::OnStatus(WMT_STATUS status, HRESULT hr, WMT_ATTR_DATATYPE, BYTE*, void*) {
    switch (status) {
        case WMT_OPENED:
        case WMT_SOURCE_SWITCH:
            openResult_.store(hr);
            SetEvent(openedEvent_);
            break;
        case WMT_END_OF_FILE:
            signalEnd();
            endOfData(true);
            break;
        case WMT_END_OF_SEGMENT:
            printDiagnostic("OnStatus( WMT_END_OF_SEGMENT )\n");
            signalEnd();
            endOfData(false);
            break;
        case WMT_LOCATING:
            printDiagnostic("OnStatus( WMT_LOCATING )\n");
            break;
        case WMT_CONNECTING:
            printDiagnostic("OnStatus( WMT_CONNECTING )\n");
            break;
        case WMT_MISSING_CODEC: {
            char line[64];
            std::snprintf(line, sizeof line, "Missing codec: (hr=0x%08x)\n", static_cast<unsigned>(hr));
            printDiagnostic(line);
            break;
        }
        case WMT_STARTED:
            playing_.store(1);
            break;
        case WMT_STOPPED:
            loop_.store(0);
            playing_.store(0);
            break;
        case WMT_CLOSED:
            SetEvent(closedEvent_);
            break;
        default:
            break;
    }
    return S_OK;
}

// At the end of the file a looping stream starts its reader over, unless the pass gave
// nothing (a file without audio data would restart for ever). Otherwise the stream plays
// out: the reader stops, and the end ticks write what is pending, then silence, until
// everything written has been heard.
void WindowsMediaStream::endOfData(bool restartIfLooping) {
    if (loop_.load() != 0) {
        if (!restartIfLooping) return;
        if (deliveredSincePass_) {
            deliveredSincePass_ = false;
            std::lock_guard<std::mutex> guard(readerLock_);
            if (reader_ != nullptr) reader_->Start(0, 0, 1.0f, nullptr);
            return;
        }
    }
    {
        std::lock_guard<std::mutex> guard(bufferLock_);
        if (ending_ || buffer_ == nullptr) return;
        ending_ = true;
    }
    {
        std::lock_guard<std::mutex> guard(readerLock_);
        if (reader_ != nullptr) reader_->Stop();
    }
    std::lock_guard<std::mutex> guard(bufferLock_);
    startEndTicks();
}

// Under the buffer lock, so that a stop or shutdown (which halt under it first) either
// comes before and keeps the timer from starting or comes after and kills it. The slot is
// empty here, so starting waits for no tick.
void WindowsMediaStream::startEndTicks() {
    if (halted_ || endTimer_.running()) return;
    endTimer_.startPeriodic(static_cast<UINT>(std::max(refillPeriodMs(format_), 1)), &WindowsMediaStream::endTick,
                            this);
}

HRESULT WindowsMediaStream::OnSample(DWORD output, QWORD, QWORD, DWORD, INSSBuffer* sample, void*) {
    if (output != 0 || sample == nullptr) return S_OK;
    BYTE* data = nullptr;
    DWORD length = 0;
    if (FAILED(sample->GetBufferAndLength(&data, &length)) || data == nullptr) return S_OK;
    deliveredSincePass_ = deliveredSincePass_ || length > 0;
    std::lock_guard<std::mutex> guard(bufferLock_);
    if (buffer_ == nullptr || ending_) return S_OK;
    pending_.append(data, length);
    writeBehindCursor();
    return S_OK;
}

void WindowsMediaStream::writeBehindCursor() {
    DWORD play = 0;
    if (FAILED(buffer_->GetCurrentPosition(&play, nullptr))) return;
    const DWORD space = ringDistance(writePosition_, play);
    const auto bytes = static_cast<int64_t>(std::min<size_t>(space, pending_.size()) & ~size_t{3}) - kCursorMargin;
    if (bytes <= 0) {
        restoreBuffer();
        return;
    }
    const auto n = static_cast<DWORD>(bytes);
    if (lockAndCopy(n, n)) writePosition_ = (writePosition_ + n) % kStreamBufferBytes;
}

// Writes `dataBytes` pending bytes and then silence, `bytes` in all, at the write position
// and drops the data from the queue. A failed lock writes nothing and keeps the position:
// moving on would leave a stretch of old content to be heard.
bool WindowsMediaStream::lockAndCopy(DWORD bytes, size_t dataBytes) {
    void* part1 = nullptr;
    void* part2 = nullptr;
    DWORD bytes1 = 0;
    DWORD bytes2 = 0;
    const HRESULT locked = buffer_->Lock(writePosition_, bytes, &part1, &bytes1, &part2, &bytes2, 0);
    if (FAILED(locked)) {
        if (locked == DSERR_BUFFERLOST) restoreBuffer();
        return false;
    }
    const auto fill = [&](void* part, DWORD partBytes, size_t from) {
        auto* target = static_cast<uint8_t*>(part);
        const size_t data = from < dataBytes ? std::min<size_t>(partBytes, dataBytes - from) : 0;
        if (data > 0) std::memcpy(target, pending_.front() + from, data);
        std::memset(target + data, 0, partBytes - data);
    };
    fill(part1, bytes1, 0);
    if (part2 != nullptr) fill(part2, bytes2, bytes1);
    pending_.drop(dataBytes);
    buffer_->Unlock(part1, bytes1, part2, part2 != nullptr ? bytes2 : 0);
    return true;
}

// A lost buffer has stopped: once restored it plays on, or it would stay silent for good
// (a stopped cursor never makes room for the next sample).
void WindowsMediaStream::restoreBuffer() {
    DWORD status = 0;
    buffer_->GetStatus(&status);
    if (SUCCEEDED(buffer_->Restore()) && (status & DSBSTATUS_BUFFERLOST) != 0) buffer_->Play(0, 0, DSBPLAY_LOOPING);
}

bool WindowsMediaStream::writeTail() {
    DWORD play = 0;
    if (FAILED(buffer_->GetCurrentPosition(&play, nullptr))) return false;
    const DWORD space = ringDistance(writePosition_, play);
    if (space > kCursorMargin) {
        const DWORD bytes = (space - kCursorMargin) & ~DWORD{3};
        const size_t data = std::min<size_t>(bytes, pending_.size());
        if (bytes > 0 && lockAndCopy(bytes, data)) {
            const DWORD dataEnd = (writePosition_ + static_cast<DWORD>(data)) % kStreamBufferBytes;
            writePosition_ = (writePosition_ + bytes) % kStreamBufferBytes;
            // The data ends here; what lies between the cursor and this end is still to
            // be heard, and only silence follows.
            if (!tail_.started() && pending_.empty()) tail_.start(play, ringDistance(play, dataEnd));
        }
    }
    return tail_.passed(play);
}

void WindowsMediaStream::endTick(UINT timerId, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
    auto* self = reinterpret_cast<WindowsMediaStream*>(user);
    if (!self->endTimer_.holds(timerId)) return;
    {
        std::lock_guard<std::mutex> guard(self->bufferLock_);
        if (self->halted_ || self->buffer_ == nullptr || !self->writeTail()) return;
        self->buffer_->Stop();
    }
    // Everything was heard. The player shuts the stream down (reader and buffer) on the
    // script thread: closing here would hold the timer thread while the reader's thread
    // winds down. The report comes last, as the shutdown may follow at once.
    self->endTimer_.killIfHolds(timerId);
    self->killFadeTimers();
    self->loop_.store(0);
    self->playing_.store(0);
    self->reportEnded();
}

void WindowsMediaStream::stop() {
    {
        std::lock_guard<std::mutex> guard(bufferLock_);
        halted_ = true;
    }
    endTimer_.kill();
    killFadeTimers();
    bool hadReader = false;
    {
        std::lock_guard<std::mutex> guard(readerLock_);
        if (reader_ != nullptr) {
            hadReader = true;
            reader_->Stop();
        }
    }
    if (hadReader) {
        std::lock_guard<std::mutex> guard(bufferLock_);
        if (buffer_ != nullptr) buffer_->Stop();
    }
    loop_.store(0);
    playing_.store(0);
}

void WindowsMediaStream::togglePause() {
    if (!paused_ && isPlaying()) {
        paused_ = true;
        killFadeTimers();
        {
            std::lock_guard<std::mutex> guard(readerLock_);
            if (reader_ != nullptr) reader_->Pause();
        }
        {
            std::lock_guard<std::mutex> guard(bufferLock_);
            if (buffer_ != nullptr) buffer_->Stop();
        }
        playing_.store(0);
    } else if (paused_ && !isPlaying()) {
        paused_ = false;
        bool resumed = false;
        {
            std::lock_guard<std::mutex> guard(readerLock_);
            resumed = reader_ != nullptr && SUCCEEDED(reader_->Resume());
        }
        // A reader that cannot resume (a stop lost its position) delivers nothing more:
        // the buffer would only go round its old content for ever.
        std::lock_guard<std::mutex> guard(bufferLock_);
        if (buffer_ == nullptr || (!resumed && !ending_)) return;
        halted_ = false;
        buffer_->Play(0, 0, DSBPLAY_LOOPING);
        if (ending_) startEndTicks();
    }
}

void WindowsMediaStream::shutdown() {
    {
        std::lock_guard<std::mutex> guard(bufferLock_);
        halted_ = true;
    }
    endTimer_.kill();
    killFadeTimers();
    closeReader();
    // No callback comes any more: no end tick can start after this kill.
    endTimer_.kill();
    loop_.store(0);
    playing_.store(0);
    std::lock_guard<std::mutex> guard(bufferLock_);
    releaseBuffer();
}

HRESULT WindowsMediaStream::closeReader() {
    std::lock_guard<std::mutex> release(releaseLock_);
    IWMReader* reader = nullptr;
    {
        std::lock_guard<std::mutex> guard(readerLock_);
        reader = std::exchange(reader_, nullptr);
    }
    if (reader == nullptr) return S_OK;
    HRESULT closed = S_OK;
    {
        std::lock_guard<std::mutex> named(namedEventsLock());
        closed = reader->Close();
        // After the closed status no callback can come.
        if (SUCCEEDED(closed)) WaitForSingleObject(closedEvent_, INFINITE);
    }
    reader->Release();
    return closed;
}

bool WindowsMediaStream::hasReader() const {
    std::lock_guard<std::mutex> guard(readerLock_);
    return reader_ != nullptr;
}

size_t WindowsMediaStream::pendingBytes() const {
    std::lock_guard<std::mutex> guard(bufferLock_);
    return pending_.size();
}

DWORD WindowsMediaStream::writePosition() const {
    std::lock_guard<std::mutex> guard(bufferLock_);
    return writePosition_;
}

size_t WindowsMediaStream::pendingCapacity() const {
    std::lock_guard<std::mutex> guard(bufferLock_);
    return pending_.capacity();
}

void ShutDownAndRelease::operator()(WindowsMediaStream* stream) const {
    stream->shutdown();
    stream->Release();
}

WindowsMediaStreamRef makeWindowsMediaStream(WindowsMediaStream::CreateReader createReader) {
    return WindowsMediaStreamRef(new WindowsMediaStream(createReader));
}

}  // namespace orvox::stream
