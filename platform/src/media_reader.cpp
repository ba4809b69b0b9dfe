#include "media_reader.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "com_object.h"
#include "export_failure.h"
#include "export_guard.h"
#include "kernel.h"
#include "media_decoder.h"
#include "media_output_props.h"
#include "media_sample.h"
#include "runtime.h"
#include "wide_text.h"

namespace plat {

namespace {

// Samples go out this far ahead of the clock, as a reader with its own clock does.
constexpr int64_t kLeadNs = 100'000'000;
constexpr DWORD kSampleFrames = 2048;
constexpr DWORD kSampleBytes = kSampleFrames * 4;  // two channels of 16 bits
constexpr uint64_t kUnitsPerSecond = 10'000'000;    // reader times are in 100 ns units
constexpr uint64_t kNsPerSecond = 1'000'000'000;

// value × to / from, truncated, without overflow for any count a file can reach.
uint64_t rescale(uint64_t value, uint64_t from, uint64_t to) { return value / from * to + value % from * to / from; }

void tell(IWMReaderCallback* callback, WMT_STATUS status, HRESULT hr, void* context) {
    DWORD value = 0;
    callback->OnStatus(status, hr, WMT_TYPE_DWORD, reinterpret_cast<BYTE*>(&value), context);
}

int64_t clockNow() { return static_cast<int64_t>(Runtime::get().clock().now()); }

enum class Request { Start, Stop, Pause, Resume, Close, Abandon };

struct Command {
    Request request;
    QWORD start = 0;
    QWORD duration = 0;
    void* context = nullptr;
};

// What the control calls have asked for so far; it decides what they may ask next.
enum class Asked { Nothing, Open, Opened, OpenFailed, Started, Paused, Stopped, Closed };

bool playable(Asked a) { return a == Asked::Opened || a == Asked::Started || a == Asked::Paused || a == Asked::Stopped; }

class ReaderCore {
public:
    ReaderCore() : wake_(Kernel::instance().createEvent(false, false, nullptr)) {}
    ~ReaderCore() {
        killTimer();
        if (sample_ != nullptr) sample_->Release();
        Kernel::instance().closeHandle(wake_);
    }
    ReaderCore(const ReaderCore&) = delete;
    ReaderCore& operator=(const ReaderCore&) = delete;

    HRESULT open(const std::shared_ptr<ReaderCore>& self, LPCWSTR url, IWMReaderCallback* callback, void* context);
    HRESULT request(const Command& command);
    HRESULT outputFormat(WAVEFORMATEX* format);
    // The reader's last reference is gone. Without a Close the thread ends without a word;
    // after one, this waits until the thread is out of its last call to the callback, so
    // whoever waited for the closed status may unload the callback's code once the
    // reader is released.
    void abandon();

private:
    static DWORD threadMain(void* parameter);
    static void wakeTick(UINT, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR);
    void run();
    bool commandWaiting();
    std::optional<Command> nextCommand();
    bool handle(const Command& command);
    void beginPass(const Command& command);
    void deliverDue();
    void finish(bool reportClosed);
    void status(WMT_STATUS status, HRESULT hr, void* context);
    void armTimer(int64_t due, int64_t now);
    void killTimer();

    const HANDLE wake_;  // set by every request and by the pacing timer
    std::mutex mutex_;
    Asked asked_ = Asked::Nothing;
    std::deque<Command> commands_;
    WAVEFORMATEX format_{};
    bool closing_ = false;        // Close was asked: the closed status will be the last call
    bool lastCallDone_ = false;   // ...and the thread has returned from it
    std::condition_variable lastCallMade_;

    // Set by open before the thread starts, then the thread's alone.
    std::string path_;
    IWMReaderCallback* callback_ = nullptr;
    void* openContext_ = nullptr;

    // The reader's thread only.
    enum class Phase { Idle, Running, Paused, Ended };
    Phase phase_ = Phase::Idle;
    std::unique_ptr<MediaDecoder> decoder_;
    MediaSample* sample_ = nullptr;
    UINT timer_ = 0;
    void* startContext_ = nullptr;
    bool fresh_ = true;           // nothing read since the decoder opened or rewound
    bool discontinuity_ = false;  // the next sample is the first of its pass
    uint32_t rate_ = 0;
    DWORD blockAlign_ = 0;
    int64_t origin_ = 0;       // clock time at which this pass's first frame is due
    int64_t timelineEnd_ = 0;  // clock time at which everything delivered is due to have played
    int64_t pausedAt_ = 0;
    uint64_t firstFrame_ = 0;     // the file's frame where this pass began
    uint64_t passFrames_ = 0;     // frames delivered in this pass
    uint64_t segmentFrames_ = 0;  // frames this pass may deliver; 0 for all
};

HRESULT ReaderCore::open(const std::shared_ptr<ReaderCore>& self, LPCWSTR url, IWMReaderCallback* callback,
                         void* context) {
    if (url == nullptr || callback == nullptr) return E_POINTER;
    std::optional<std::string> name = narrowName(url);
    if (!name) return E_INVALIDARG;
    auto holder = std::make_unique<std::shared_ptr<ReaderCore>>(self);
    std::lock_guard lock(mutex_);
    if (asked_ != Asked::Nothing) return NS_E_INVALID_REQUEST;
    if (wake_ == nullptr) return E_OUTOFMEMORY;
    path_ = std::move(*name);
    callback_ = callback;
    openContext_ = context;
    // The thread needs this lock before it may call back, and Close needs `asked_`: the
    // reference taken below is there before either.
    const HANDLE thread = Kernel::instance().createThread(&ReaderCore::threadMain, holder.get(), nullptr);
    if (thread == nullptr) {
        callback_ = nullptr;
        return E_OUTOFMEMORY;
    }
    holder.release();
    callback->AddRef();
    Kernel::instance().closeHandle(thread);
    asked_ = Asked::Open;
    return S_OK;
}

HRESULT ReaderCore::request(const Command& command) {
    {
        std::lock_guard lock(mutex_);
        Asked next = asked_;
        switch (command.request) {
            case Request::Start:
                if (!playable(asked_)) return NS_E_INVALID_REQUEST;
                next = Asked::Started;
                break;
            case Request::Stop:
                if (!playable(asked_)) return NS_E_INVALID_REQUEST;
                next = Asked::Stopped;
                break;
            case Request::Pause:
                if (asked_ != Asked::Started) return NS_E_INVALID_REQUEST;
                next = Asked::Paused;
                break;
            case Request::Resume:
                if (asked_ != Asked::Paused) return NS_E_INVALID_REQUEST;
                next = Asked::Started;
                break;
            case Request::Close:
            case Request::Abandon:
                if (asked_ == Asked::Nothing || asked_ == Asked::Closed) return NS_E_INVALID_REQUEST;
                next = Asked::Closed;
                closing_ = command.request == Request::Close;
                break;
        }
        commands_.push_back(command);
        asked_ = next;
    }
    Kernel::instance().setEvent(wake_);
    return S_OK;
}

void ReaderCore::abandon() {
    try {
        request(Command{Request::Abandon});
    } catch (const std::bad_alloc&) {
        // The thread, if any, stays parked on its event.
    }
    std::unique_lock lock(mutex_);
    lastCallMade_.wait(lock, [&] { return !closing_ || lastCallDone_; });
}

HRESULT ReaderCore::outputFormat(WAVEFORMATEX* format) {
    std::lock_guard lock(mutex_);
    if (!playable(asked_)) return NS_E_INVALID_REQUEST;
    *format = format_;
    return S_OK;
}

DWORD ReaderCore::threadMain(void* parameter) {
    auto* holder = static_cast<std::shared_ptr<ReaderCore>*>(parameter);
    const std::shared_ptr<ReaderCore> self = std::move(*holder);
    delete holder;
    self->run();
    return 0;
}

void ReaderCore::wakeTick(UINT, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
    Kernel::instance().setEvent(reinterpret_cast<ReaderCore*>(user)->wake_);
}

void ReaderCore::run() {
    MediaDecoder::Failure failure;
    try {
        decoder_ = MediaDecoder::open(path_, failure);
    } catch (const std::bad_alloc&) {
        failure = {E_OUTOFMEMORY, false};
    }
    {
        std::lock_guard lock(mutex_);
        if (decoder_ != nullptr) {
            rate_ = decoder_->rate();
            format_ = pcmOutputFormat(decoder_->rate(), decoder_->channels());
            blockAlign_ = format_.nBlockAlign;
        }
        if (asked_ == Asked::Open) asked_ = decoder_ != nullptr ? Asked::Opened : Asked::OpenFailed;
    }
    if (failure.missingCodec) status(WMT_MISSING_CODEC, failure.result, openContext_);
    status(WMT_OPENED, failure.result, openContext_);

    for (;;) {
        try {
            if (const std::optional<Command> command = nextCommand()) {
                if (!handle(*command)) return;
                continue;
            }
            if (phase_ == Phase::Running) deliverDue();
        } catch (const std::bad_alloc&) {
            // Out of memory while decoding: the data ends here; Close still works.
            decoder_.reset();
            continue;
        }
        if (!commandWaiting()) Kernel::instance().wait(1, &wake_, false, INFINITE, false);
    }
}

bool ReaderCore::commandWaiting() {
    std::lock_guard lock(mutex_);
    return !commands_.empty();
}

std::optional<Command> ReaderCore::nextCommand() {
    std::lock_guard lock(mutex_);
    if (commands_.empty()) return std::nullopt;
    const Command command = commands_.front();
    commands_.pop_front();
    return command;
}

bool ReaderCore::handle(const Command& command) {
    switch (command.request) {
        case Request::Start:
            beginPass(command);
            break;
        case Request::Stop:
            killTimer();
            phase_ = Phase::Idle;
            status(WMT_STOPPED, S_OK, startContext_);
            break;
        case Request::Pause:
            if (phase_ == Phase::Running) {
                killTimer();
                phase_ = Phase::Paused;
                pausedAt_ = clockNow();
            }
            break;
        case Request::Resume:
            if (phase_ == Phase::Paused) {
                const int64_t paused = clockNow() - pausedAt_;
                origin_ += paused;
                timelineEnd_ += paused;
                phase_ = Phase::Running;
                status(WMT_STARTED, S_OK, startContext_);
            }
            break;
        case Request::Close:
            finish(true);
            return false;
        case Request::Abandon:
            finish(false);
            return false;
    }
    return true;
}

void ReaderCore::beginPass(const Command& command) {
    killTimer();
    startContext_ = command.context;
    bool readable = decoder_ != nullptr;
    if (readable && !fresh_) readable = decoder_->rewind();
    fresh_ = false;
    if (!readable) decoder_.reset();  // the pass ends at once
    // A pass that follows another goes on where the delivered PCM ends, so a restarted
    // file is never delivered further ahead of the clock than the first pass was.
    origin_ = std::max(clockNow(), timelineEnd_);
    passFrames_ = 0;
    firstFrame_ = rescale(command.start, kUnitsPerSecond, rate_);
    segmentFrames_ = command.duration != 0 ? std::max<uint64_t>(1, rescale(command.duration, kUnitsPerSecond, rate_)) : 0;
    // Frames before the start are passed over without a copy: the last sample delivered may
    // still be held by the callback.
    if (decoder_ != nullptr && firstFrame_ > 0) decoder_->read(nullptr, static_cast<size_t>(firstFrame_));
    phase_ = Phase::Running;
    discontinuity_ = true;
    status(WMT_STARTED, S_OK, startContext_);
}

void ReaderCore::deliverDue() {
    const int64_t now = clockNow();
    while (phase_ == Phase::Running && !commandWaiting()) {
        const int64_t due = origin_ + static_cast<int64_t>(rescale(passFrames_, rate_, kNsPerSecond)) - kLeadNs;
        if (due > now) {
            armTimer(due, now);
            return;
        }
        uint64_t want = kSampleFrames;
        if (segmentFrames_ != 0) want = std::min(want, segmentFrames_ - passFrames_);
        size_t got = 0;
        if (want > 0 && decoder_ != nullptr) {
            if (sample_ == nullptr || sample_->shared()) {
                // The callback kept the last sample: it is its own now.
                if (sample_ != nullptr) sample_->Release();
                sample_ = nullptr;
                sample_ = new MediaSample(kSampleBytes);
            }
            got = decoder_->read(reinterpret_cast<int16_t*>(sample_->data()), static_cast<size_t>(want));
        }
        if (got == 0) {
            phase_ = Phase::Ended;
            const bool segmentDone = segmentFrames_ != 0 && passFrames_ >= segmentFrames_;
            status(segmentDone ? WMT_END_OF_SEGMENT : WMT_END_OF_FILE, S_OK, startContext_);
            return;
        }
        const QWORD time = rescale(firstFrame_ + passFrames_, rate_, kUnitsPerSecond);
        passFrames_ += got;
        const QWORD end = rescale(firstFrame_ + passFrames_, rate_, kUnitsPerSecond);
        timelineEnd_ = origin_ + static_cast<int64_t>(rescale(passFrames_, rate_, kNsPerSecond));
        sample_->SetLength(static_cast<DWORD>(got) * blockAlign_);
        const DWORD flags = WM_SF_CLEANPOINT | (discontinuity_ ? WM_SF_DISCONTINUITY : 0);
        discontinuity_ = false;
        callback_->OnSample(0, time, end - time, flags, sample_, startContext_);
    }
}

void ReaderCore::finish(bool reportClosed) {
    killTimer();
    phase_ = Phase::Idle;
    decoder_.reset();
    if (sample_ != nullptr) sample_->Release();
    sample_ = nullptr;
    IWMReaderCallback* callback = std::exchange(callback_, nullptr);
    // Given up before the closed status, so that nothing of the callback's runs here after
    // it: its owner may be gone once it has that status.
    callback->Release();
    if (!reportClosed) return;
    tell(callback, WMT_CLOSED, S_OK, openContext_);
    {
        std::lock_guard lock(mutex_);
        lastCallDone_ = true;
    }
    lastCallMade_.notify_all();
}

void ReaderCore::status(WMT_STATUS status, HRESULT hr, void* context) { tell(callback_, status, hr, context); }

void ReaderCore::armTimer(int64_t due, int64_t now) {
    killTimer();
    const auto delayMs = static_cast<UINT>((due - now + 999'999) / 1'000'000);
    timer_ = Runtime::get().timers().create(std::max<UINT>(delayMs, 1), &ReaderCore::wakeTick,
                                            reinterpret_cast<DWORD_PTR>(this), false, false);
}

void ReaderCore::killTimer() {
    if (timer_ != 0) Runtime::get().timers().kill(timer_);
    timer_ = 0;
}

class MediaReader final : public ComObject<MediaReader, IWMReader, IID_IUnknown, IID_IWMReader> {
public:
    MediaReader() : core_(std::make_shared<ReaderCore>()) {}

    HRESULT Open(LPCWSTR url, IWMReaderCallback* callback, void* context) override {
        return guarded([&] { return core_->open(core_, url, callback, context); });
    }
    HRESULT Close() override { return request(Command{Request::Close}); }
    HRESULT GetOutputCount(DWORD* outputs) override {
        if (outputs == nullptr) return E_POINTER;
        WAVEFORMATEX format;
        const HRESULT hr = core_->outputFormat(&format);
        if (SUCCEEDED(hr)) *outputs = 1;
        return hr;
    }
    HRESULT GetOutputProps(DWORD output, IWMOutputMediaProps** props) override {
        if (props == nullptr) return E_POINTER;
        *props = nullptr;
        if (output != 0) return E_INVALIDARG;
        WAVEFORMATEX format;
        const HRESULT hr = core_->outputFormat(&format);
        if (FAILED(hr)) return hr;
        *props = new (std::nothrow) MediaOutputProps(format);
        return *props != nullptr ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT SetOutputProps(DWORD output, IWMOutputMediaProps* props) override {
        return guarded([&] { return takeOutputProps(output, props); });
    }
    HRESULT GetOutputFormatCount(DWORD output, DWORD* formats) override {
        if (formats == nullptr) return E_POINTER;
        if (output != 0) return E_INVALIDARG;
        WAVEFORMATEX format;
        const HRESULT hr = core_->outputFormat(&format);
        if (SUCCEEDED(hr)) *formats = 1;
        return hr;
    }
    HRESULT GetOutputFormat(DWORD output, DWORD format, IWMOutputMediaProps** props) override {
        if (props != nullptr && format != 0) {
            *props = nullptr;
            return E_INVALIDARG;
        }
        return GetOutputProps(output, props);
    }
    HRESULT Start(QWORD start, QWORD duration, float rate, void* context) override {
        if (rate != 1.0f || start == ~QWORD{0}) return E_INVALIDARG;
        return request(Command{Request::Start, start, duration, context});
    }
    HRESULT Stop() override { return request(Command{Request::Stop}); }
    HRESULT Pause() override { return request(Command{Request::Pause}); }
    HRESULT Resume() override { return request(Command{Request::Resume}); }

private:
    friend Base;
    HRESULT takeOutputProps(DWORD output, IWMOutputMediaProps* props);
    // Methods that allocate answer E_OUTOFMEMORY (E_FAIL for anything else) instead of throwing.
    template <class Call>
    static HRESULT guarded(Call call) {
        return a5::guardExport(failureResult, call);
    }
    HRESULT request(const Command& command) {
        return guarded([&] { return core_->request(command); });
    }

    ~MediaReader() { core_->abandon(); }

    const std::shared_ptr<ReaderCore> core_;
};

HRESULT MediaReader::takeOutputProps(DWORD output, IWMOutputMediaProps* props) {
    if (props == nullptr) return E_POINTER;
    if (output != 0) return E_INVALIDARG;
    WAVEFORMATEX own;
    const HRESULT hr = core_->outputFormat(&own);
    if (FAILED(hr)) return hr;
    DWORD bytes = 0;
    if (FAILED(props->GetMediaType(nullptr, &bytes)) || bytes < sizeof(WM_MEDIA_TYPE)) return E_INVALIDARG;
    std::vector<uint64_t> block((bytes + 7) / 8);
    auto* type = reinterpret_cast<WM_MEDIA_TYPE*>(block.data());
    if (FAILED(props->GetMediaType(type, &bytes)) || type->pbFormat == nullptr || type->cbFormat < 16) return E_INVALIDARG;
    WAVEFORMATEX asked{};
    std::memcpy(&asked, type->pbFormat, std::min<size_t>(type->cbFormat, sizeof asked));
    const bool same = asked.wFormatTag == own.wFormatTag && asked.nChannels == own.nChannels &&
                      asked.nSamplesPerSec == own.nSamplesPerSec && asked.wBitsPerSample == own.wBitsPerSample;
    return same ? S_OK : E_INVALIDARG;
}

}  // namespace

HRESULT createMediaReader(IWMReader** reader) {
    *reader = new MediaReader;
    return S_OK;
}

}  // namespace plat
