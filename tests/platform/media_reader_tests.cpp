// The media reader under the virtual clock: what it delivers (against FFmpeg's own decode,
// made here without the reader), when it delivers it, what it refuses, and its threads.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <plat/a5platform.h>
#include <plat/winbase.h>
#include <plat/winnls.h>
#include <plat/wmsdk.h>

#include "../shared_data.h"
#include "ffmpeg_reference.h"

namespace {

namespace fs = std::filesystem;
using media_reference::Decoded;

constexpr uint64_t kMs = 1'000'000;
constexpr int64_t kLeadNs = 100 * static_cast<int64_t>(kMs);

struct Call {
    bool sample = false;
    WMT_STATUS status = WMT_ERROR;
    HRESULT hr = S_OK;
    QWORD time = 0;
    QWORD duration = 0;
    DWORD flags = 0;
    DWORD bytes = 0;
    uint64_t clockNs = 0;
};

// Records every call the reader makes, with the clock at that moment.
class Recorder final : public IWMReaderCallback {
public:
    Recorder() {
        opened_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        closed_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    }
    ~Recorder() {
        CloseHandle(opened_);
        CloseHandle(closed_);
    }

    HRESULT QueryInterface(REFIID, void** object) override {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override { return --refs_; }
    HRESULT OnStatus(WMT_STATUS status, HRESULT hr, WMT_ATTR_DATATYPE, BYTE*, void*) override {
        record(Call{false, status, hr, 0, 0, 0, 0, a5p_now_ns()});
        if (status == WMT_OPENED) SetEvent(opened_);
        if (status == WMT_CLOSED) SetEvent(closed_);
        return S_OK;
    }
    HRESULT OnSample(DWORD output, QWORD time, QWORD duration, DWORD flags, INSSBuffer* sample, void*) override {
        BYTE* data = nullptr;
        DWORD length = 0;
        EXPECT_EQ(output, 0u);
        EXPECT_EQ(sample->GetBufferAndLength(&data, &length), S_OK);
        std::lock_guard<std::mutex> guard(mutex_);
        pcm_.insert(pcm_.end(), reinterpret_cast<int16_t*>(data), reinterpret_cast<int16_t*>(data + length));
        calls_.push_back(Call{true, WMT_ERROR, S_OK, time, duration, flags, length, a5p_now_ns()});
        if (closeInSample_ != nullptr) std::exchange(closeInSample_, nullptr)->Close();
        return S_OK;
    }

    HANDLE opened() const { return opened_; }
    HANDLE closed() const { return closed_; }
    ULONG refs() const { return refs_.load(); }
    std::vector<Call> calls() {
        std::lock_guard<std::mutex> guard(mutex_);
        return calls_;
    }
    std::vector<int16_t> takePcm() {
        std::lock_guard<std::mutex> guard(mutex_);
        return std::exchange(pcm_, {});
    }
    bool sawStatus(WMT_STATUS status) {
        std::lock_guard<std::mutex> guard(mutex_);
        return std::any_of(calls_.begin(), calls_.end(), [&](const Call& c) { return !c.sample && c.status == status; });
    }
    void clear() {
        std::lock_guard<std::mutex> guard(mutex_);
        calls_.clear();
    }
    void closeFromNextSample(IWMReader* reader) {
        std::lock_guard<std::mutex> guard(mutex_);
        closeInSample_ = reader;
    }

private:
    void record(const Call& call) {
        std::lock_guard<std::mutex> guard(mutex_);
        calls_.push_back(call);
    }

    std::atomic<ULONG> refs_{1};
    HANDLE opened_;
    HANDLE closed_;
    std::mutex mutex_;
    std::vector<Call> calls_;
    std::vector<int16_t> pcm_;
    IWMReader* closeInSample_ = nullptr;
};

std::u16string wide(const std::string& name) {
    const int n = MultiByteToWideChar(CP_ACP, 0, name.c_str(), -1, nullptr, 0);
    std::u16string text(static_cast<size_t>(n), u'\0');
    MultiByteToWideChar(CP_ACP, 0, name.c_str(), -1, text.data(), n);
    return text;
}

// A reader that has reported WMT_OPENED for `path`, with the open's result.
IWMReader* openReader(const std::string& path, Recorder& recorder, HRESULT* result) {
    IWMReader* reader = nullptr;
    EXPECT_EQ(WMCreateReader(nullptr, 0, &reader), S_OK);
    EXPECT_EQ(reader->Open(wide(path).c_str(), &recorder, nullptr), S_OK);
    EXPECT_EQ(WaitForSingleObject(recorder.opened(), 10000), WAIT_OBJECT_0);
    for (const Call& c : recorder.calls())
        if (!c.sample && c.status == WMT_OPENED) *result = c.hr;
    return reader;
}

void closeAndRelease(IWMReader* reader, Recorder& recorder) {
    ASSERT_EQ(reader->Close(), S_OK);
    ASSERT_EQ(WaitForSingleObject(recorder.closed(), 10000), WAIT_OBJECT_0);
    reader->Release();
    const std::vector<Call> calls = recorder.calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_FALSE(calls.back().sample);
    EXPECT_EQ(calls.back().status, WMT_CLOSED) << "nothing comes after the closed status";
    EXPECT_EQ(recorder.refs(), 1u) << "the reader gave its reference back";
}

// Lets the virtual clock run until `status` arrives, at most `limitMs`.
bool runUntil(Recorder& recorder, WMT_STATUS status, int limitMs) {
    for (int ms = 0; ms < limitMs; ms += 50) {
        if (recorder.sawStatus(status)) return true;
        a5p_advance_ns(50 * kMs);
    }
    return recorder.sawStatus(status);
}

size_t threadCount() { return static_cast<size_t>(std::distance(fs::directory_iterator("/proc/self/task"), {})); }

// Threads end a moment after their last call; give them that moment.
bool threadsBackTo(size_t count) {
    for (int i = 0; i < 400 && threadCount() != count; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return threadCount() == count;
}

class WorkDir : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("a5_reader_" + std::to_string(getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string at(const std::string& name) const { return (dir_ / name).string(); }
    fs::path dir_;
};

// A FLAC file made from a WAV's PCM, so its decode is known exactly.
std::string flacFrom(const std::string& wav, const std::string& target) {
    const Decoded pcm = media_reference::decode(wav);
    if (!pcm.ok() || !media_reference::writeFlac(target, pcm.pcm, pcm.rate, pcm.channels)) return {};
    return target;
}

struct OutputCase {
    const char* sub;
    const char* name;
    bool makeFlac;  // play a FLAC copy of the file's PCM instead
};

class ReaderOutput : public WorkDir, public ::testing::WithParamInterface<OutputCase> {};

TEST_P(ReaderOutput, IsFfmpegsDecodeInContiguousSamplesAndEveryPassIsAlike) {
    std::string path = media_reference::sharedMedia(GetParam().sub, GetParam().name);
    A5_SKIP_WITHOUT_SHARED(!path.empty(), GetParam().name);
    if (GetParam().makeFlac) path = flacFrom(path, at("copy.flac"));
    ASSERT_FALSE(path.empty());
    const Decoded expected = media_reference::decode(path);
    ASSERT_TRUE(expected.ok());

    Recorder recorder;
    HRESULT opened = E_FAIL;
    IWMReader* reader = openReader(path, recorder, &opened);
    ASSERT_EQ(opened, S_OK);
    DWORD outputs = 0;
    EXPECT_EQ(reader->GetOutputCount(&outputs), S_OK);
    EXPECT_EQ(outputs, 1u) << "audio only: a video stream is no output";
    IWMOutputMediaProps* props = nullptr;
    ASSERT_EQ(reader->GetOutputProps(0, &props), S_OK);
    DWORD bytes = 0;
    ASSERT_EQ(props->GetMediaType(nullptr, &bytes), S_OK);
    std::vector<uint64_t> block(bytes / 8 + 1);
    auto* type = reinterpret_cast<WM_MEDIA_TYPE*>(block.data());
    ASSERT_EQ(props->GetMediaType(type, &bytes), S_OK);
    props->Release();
    EXPECT_TRUE(type->majortype == WMMEDIATYPE_Audio && type->subtype == WMMEDIASUBTYPE_PCM &&
                type->formattype == WMFORMAT_WaveFormatEx);
    ASSERT_EQ(type->cbFormat, 18u);
    EXPECT_EQ(type->pbFormat, reinterpret_cast<BYTE*>(type + 1)) << "the format block follows the record";
    WAVEFORMATEX format;
    std::memcpy(&format, type->pbFormat, sizeof format);
    EXPECT_EQ(format.wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(format.nChannels, expected.channels);
    EXPECT_EQ(format.nSamplesPerSec, expected.rate);
    EXPECT_EQ(format.wBitsPerSample, 16);
    EXPECT_EQ(format.nBlockAlign, 2 * expected.channels);
    EXPECT_EQ(format.nAvgBytesPerSec, 2 * expected.channels * expected.rate);
    EXPECT_EQ(format.cbSize, 0);

    std::vector<int16_t> passes[2];
    for (std::vector<int16_t>& pass : passes) {
        recorder.clear();
        ASSERT_EQ(reader->Start(0, 0, 1.0f, nullptr), S_OK);
        const double seconds = static_cast<double>(expected.pcm.size()) / expected.channels / expected.rate;
        ASSERT_TRUE(runUntil(recorder, WMT_END_OF_FILE, static_cast<int>(seconds * 1000) + 2000));
        pass = recorder.takePcm();

        const std::vector<Call> calls = recorder.calls();
        ASSERT_GE(calls.size(), 3u);
        EXPECT_EQ(calls.front().status, WMT_STARTED);
        EXPECT_EQ(calls.back().status, WMT_END_OF_FILE);
        QWORD next = 0;
        for (size_t i = 1; i + 1 < calls.size(); ++i) {
            ASSERT_TRUE(calls[i].sample);
            EXPECT_EQ(calls[i].time, next) << "sample " << i;
            EXPECT_EQ(calls[i].flags, i == 1 ? WM_SF_CLEANPOINT | WM_SF_DISCONTINUITY : WM_SF_CLEANPOINT);
            EXPECT_LE(calls[i].bytes, 2048u * format.nBlockAlign);
            EXPECT_EQ(calls[i].bytes % format.nBlockAlign, 0u);
            next = calls[i].time + calls[i].duration;
        }
    }
    ASSERT_EQ(passes[0].size(), expected.pcm.size());
    long off = 0;
    for (size_t i = 0; i < expected.pcm.size(); ++i) off += std::abs(passes[0][i] - expected.pcm[i]) > 1;
    EXPECT_EQ(off, 0) << "samples more than 1 step from FFmpeg's decode";
    EXPECT_TRUE(passes[1] == passes[0]) << "a started-over file decodes alike";
    closeAndRelease(reader, recorder);
}

INSTANTIATE_TEST_SUITE_P(Files, ReaderOutput,
                         ::testing::Values(OutputCase{"wma", "wma_v2_stereo_44100.wma", false},
                                           OutputCase{"wma", "wma_v1_mono_22050.wma", false},
                                           OutputCase{"wma", "asf_wmav2_stereo_32000.asf", false},
                                           OutputCase{"wma", "wmv_video_with_wmav2_audio.wmv", false},
                                           OutputCase{"wav", "real_wav_ieee_float64_not_pcm.wav", false},
                                           OutputCase{"wav", "wav_pcm16_stereo_44100_10s.wav", true}),
                         [](const ::testing::TestParamInfo<OutputCase>& file) {
                             return (file.param.makeFlac ? "flac_of_" : "") + media_reference::testNameOf(file.param.name);
                         });

TEST(ReaderPacing, SamplesLeadTheClockBy100msAndAPauseHoldsThem) {
    const std::string path = media_reference::sharedMedia("wma", "wma_v2_stereo_44100.wma");
    A5_SKIP_WITHOUT_SHARED(!path.empty(), "shared media");
    Recorder recorder;
    HRESULT opened = E_FAIL;
    IWMReader* reader = openReader(path, recorder, &opened);
    ASSERT_EQ(opened, S_OK);
    const auto origin = static_cast<int64_t>(a5p_now_ns());
    ASSERT_EQ(reader->Start(0, 0, 1.0f, nullptr), S_OK);
    a5p_advance_ns(2000 * kMs);
    EXPECT_EQ(reader->Pause(), S_OK);
    const size_t before = recorder.calls().size();
    a5p_advance_ns(3000 * kMs);
    EXPECT_EQ(recorder.calls().size(), before) << "nothing is delivered while paused";
    EXPECT_EQ(reader->Resume(), S_OK);
    a5p_advance_ns(2000 * kMs);

    // Each sample goes out when the clock reaches its time less the lead (to the next
    // millisecond), the pause shifting everything after it by its length.
    bool resumed = false;
    int samples = 0;
    for (const Call& c : recorder.calls()) {
        if (!c.sample) {
            resumed = resumed || (c.status == WMT_STARTED && c.clockNs > static_cast<uint64_t>(origin));
            continue;
        }
        ++samples;
        const int64_t shift = resumed ? 3000 * static_cast<int64_t>(kMs) : 0;
        const int64_t due = std::max(origin, origin + static_cast<int64_t>(c.time) * 100 - kLeadNs + shift);
        EXPECT_GE(static_cast<int64_t>(c.clockNs), due) << "sample at " << c.time;
        EXPECT_LT(static_cast<int64_t>(c.clockNs), due + static_cast<int64_t>(kMs)) << "sample at " << c.time;
    }
    EXPECT_TRUE(resumed);
    EXPECT_GT(samples, 80);  // 4 s of audio in 2048-frame samples
    closeAndRelease(reader, recorder);
}

enum class Bad { Missing, Directory, Fifo, Empty, Noise, VideoOnly, CorruptHeader, Mp3, Mp2, Mp3InWav, Module };

class ReaderRefusal : public WorkDir, public ::testing::WithParamInterface<Bad> {
protected:
    std::string make(Bad bad) {
        const auto write = [&](const std::string& name, const std::string& bytes) {
            std::ofstream(at(name), std::ios::binary) << bytes;
            return at(name);
        };
        std::mt19937 rng(5);
        std::string noise(100000, '\0');
        for (char& c : noise) c = static_cast<char>(rng());
        switch (bad) {
            case Bad::Missing:
                return at("missing.wma");
            case Bad::Directory:
                fs::create_directory(at("folder.wma"));
                return at("folder.wma");
            case Bad::Fifo:
                mkfifo(at("fifo.wma").c_str(), 0600);
                return at("fifo.wma");
            case Bad::Empty:
                return write("empty.wma", "");
            case Bad::Noise:
                return write("noise.wma", noise);
            case Bad::VideoOnly: {
                const std::string wmv = media_reference::sharedMedia("wma", "wmv_video_with_wmav2_audio.wmv");
                return !wmv.empty() && media_reference::writeVideoOnly(wmv, at("video.wmv")) ? at("video.wmv") : "";
            }
            case Bad::CorruptHeader: {
                const std::string wma = media_reference::sharedMedia("wma", "wma_v2_stereo_44100.wma");
                if (wma.empty()) return "";
                std::ifstream in(wma, std::ios::binary);
                std::string bytes(std::istreambuf_iterator<char>(in), {});
                bytes.replace(0, 4000, noise.substr(0, 4000));  // the header objects, ASF signature included
                return write("corrupt.asf", bytes);
            }
            case Bad::Mp3:
                return media_reference::sharedMedia("mpeg", "mp3_cbr128_jointstereo_44100.mp3");
            case Bad::Mp2:
                return media_reference::sharedMedia("mpeg", "mp2_layer2_192k_stereo_44100.mp2");
            case Bad::Mp3InWav: {  // MPEG audio behind a WAV header (format tag 0x55)
                const std::string mp3 = media_reference::sharedMedia("mpeg", "mp3_cbr128_jointstereo_44100.mp3");
                if (mp3.empty()) return "";
                std::ifstream in(mp3, std::ios::binary);
                const std::string data(std::istreambuf_iterator<char>(in), {});
                const auto le = [](uint32_t v, int bytes) {
                    std::string out;
                    for (int i = 0; i < bytes; ++i) out += static_cast<char>(v >> (8 * i));
                    return out;
                };
                const std::string fmt = le(0x55, 2) + le(2, 2) + le(44100, 4) + le(16000, 4) + le(1, 2) + le(0, 2) +
                                        le(12, 2) + le(1, 2) + le(2, 4) + le(418, 2) + le(1, 2) + le(1393, 2);
                const std::string body = "WAVEfmt " + le(static_cast<uint32_t>(fmt.size()), 4) + fmt + "data" +
                                         le(static_cast<uint32_t>(data.size()), 4) + data;
                return write("mp3.wav", "RIFF" + le(static_cast<uint32_t>(body.size()), 4) + body);
            }
            case Bad::Module:  // a module the tracker library refused is no media of the reader's
                return media_reference::sharedMedia("modules", "amf_dsmi_v08_avoid_libmikmod_rejects.amf");
        }
        return "";
    }
};

TEST_P(ReaderRefusal, OpenFailsAtOnceAndCloseStillEndsTheThread) {
    const std::string path = make(GetParam());
    A5_SKIP_WITHOUT_SHARED(!path.empty(), "shared media");
    const size_t threads = threadCount();
    Recorder recorder;
    HRESULT opened = S_OK;
    ::testing::internal::CaptureStderr();
    IWMReader* reader = openReader(path, recorder, &opened);  // waits at most 10 s: a FIFO must not block it
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "") << "FFmpeg says nothing unless asked";
    EXPECT_TRUE(FAILED(opened));
    const bool mpeg = GetParam() == Bad::Mp3 || GetParam() == Bad::Mp2 || GetParam() == Bad::Mp3InWav;
    EXPECT_EQ(recorder.sawStatus(WMT_MISSING_CODEC), mpeg) << "MPEG audio has no codec here";
    if (mpeg) {
        EXPECT_EQ(opened, NS_E_AUDIO_CODEC_NOT_INSTALLED);
    }
    IWMOutputMediaProps* props = nullptr;
    EXPECT_EQ(reader->GetOutputProps(0, &props), NS_E_INVALID_REQUEST);
    EXPECT_EQ(reader->Start(0, 0, 1.0f, nullptr), NS_E_INVALID_REQUEST);
    closeAndRelease(reader, recorder);
    EXPECT_TRUE(threadsBackTo(threads));
}

std::string nameOf(const ::testing::TestParamInfo<Bad>& bad) {
    static constexpr const char* kNames[] = {"Missing",       "Directory", "Fifo", "Empty",    "Noise", "VideoOnly",
                                             "CorruptHeader", "Mp3",       "Mp2",  "Mp3InWav", "Module"};
    static_assert(std::size(kNames) == static_cast<size_t>(Bad::Module) + 1);
    return kNames[static_cast<size_t>(bad.param)];
}

INSTANTIATE_TEST_SUITE_P(Inputs, ReaderRefusal,
                         ::testing::Values(Bad::Missing, Bad::Directory, Bad::Fifo, Bad::Empty, Bad::Noise,
                                           Bad::VideoOnly, Bad::CorruptHeader, Bad::Mp3, Bad::Mp2, Bad::Mp3InWav,
                                           Bad::Module),
                         nameOf);

TEST(ReaderRefusal, HeaderWithoutPacketsOpensAndEndsAtOnce) {
    const std::string path = media_reference::sharedMedia("wma", "real_wma_v2_header_only_no_audio_packets.wma");
    A5_SKIP_WITHOUT_SHARED(!path.empty(), "shared media");
    Recorder recorder;
    HRESULT opened = E_FAIL;
    IWMReader* reader = openReader(path, recorder, &opened);
    ASSERT_EQ(opened, S_OK);
    recorder.clear();
    ASSERT_EQ(reader->Start(0, 0, 1.0f, nullptr), S_OK);
    ASSERT_TRUE(runUntil(recorder, WMT_END_OF_FILE, 100));
    const std::vector<Call> calls = recorder.calls();
    ASSERT_EQ(calls.size(), 2u) << "started, then the end: no sample";
    EXPECT_EQ(calls[0].status, WMT_STARTED);
    closeAndRelease(reader, recorder);
}

TEST(ReaderControls, CallsFollowTheReadersState) {
    const std::string path = media_reference::sharedMedia("wma", "wma_v1_mono_22050.wma");
    A5_SKIP_WITHOUT_SHARED(!path.empty(), "shared media");
    IWMReader* fresh = nullptr;
    ASSERT_EQ(WMCreateReader(nullptr, 0, &fresh), S_OK);
    EXPECT_EQ(fresh->Start(0, 0, 1.0f, nullptr), NS_E_INVALID_REQUEST);
    EXPECT_EQ(fresh->Close(), NS_E_INVALID_REQUEST);
    void* other = nullptr;
    EXPECT_EQ(fresh->QueryInterface(IID_IWMReaderCallback, &other), E_NOINTERFACE);
    fresh->Release();
    IWMReader* refused = nullptr;
    Recorder certificate;
    EXPECT_EQ(WMCreateReader(&certificate, 0, &refused), E_INVALIDARG);
    EXPECT_EQ(refused, nullptr);

    Recorder recorder;
    HRESULT opened = E_FAIL;
    IWMReader* reader = openReader(path, recorder, &opened);
    ASSERT_EQ(opened, S_OK);
    EXPECT_EQ(reader->Open(wide(path).c_str(), &recorder, nullptr), NS_E_INVALID_REQUEST);
    EXPECT_EQ(reader->Pause(), NS_E_INVALID_REQUEST) << "not started";
    EXPECT_EQ(reader->Resume(), NS_E_INVALID_REQUEST) << "not paused";
    EXPECT_EQ(reader->Start(0, 0, 2.0f, nullptr), E_INVALIDARG) << "only rate 1.0 plays";
    IWMOutputMediaProps* props = nullptr;
    EXPECT_EQ(reader->GetOutputProps(1, &props), E_INVALIDARG);
    ASSERT_EQ(reader->GetOutputFormat(0, 0, &props), S_OK);
    EXPECT_EQ(reader->SetOutputProps(0, props), S_OK) << "its own format";
    DWORD bytes = 0;
    props->GetMediaType(nullptr, &bytes);
    std::vector<uint64_t> block(bytes / 8 + 1);
    auto* type = reinterpret_cast<WM_MEDIA_TYPE*>(block.data());
    props->GetMediaType(type, &bytes);
    reinterpret_cast<WAVEFORMATEX*>(type->pbFormat)->nSamplesPerSec = 48000;
    EXPECT_EQ(props->SetMediaType(type), S_OK);
    EXPECT_EQ(reader->SetOutputProps(0, props), E_INVALIDARG) << "no other rate";
    props->Release();

    // From start + 1 s for 0.5 s: the segment's samples, then its end.
    recorder.clear();
    ASSERT_EQ(reader->Start(10'000'000, 5'000'000, 1.0f, nullptr), S_OK);
    ASSERT_TRUE(runUntil(recorder, WMT_END_OF_SEGMENT, 2000));
    const std::vector<Call> calls = recorder.calls();
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(calls[1].time, 10'000'000u);
    EXPECT_EQ(recorder.takePcm().size(), 22050u / 2);
    EXPECT_FALSE(recorder.sawStatus(WMT_END_OF_FILE));
    EXPECT_EQ(reader->Stop(), S_OK);
    runUntil(recorder, WMT_STOPPED, 100);
    EXPECT_TRUE(recorder.sawStatus(WMT_STOPPED));
    closeAndRelease(reader, recorder);
}

TEST(ReaderThreads, ACloseFromInsideASampleEndsTheThread) {
    const std::string path = media_reference::sharedMedia("wma", "asf_wmav2_stereo_32000.asf");
    A5_SKIP_WITHOUT_SHARED(!path.empty(), "shared media");
    const size_t threads = threadCount();
    for (int round = 0; round < 5; ++round) {
        Recorder recorder;
        HRESULT opened = E_FAIL;
        IWMReader* reader = openReader(path, recorder, &opened);
        ASSERT_EQ(opened, S_OK);
        recorder.closeFromNextSample(reader);
        ASSERT_EQ(reader->Start(0, 0, 1.0f, nullptr), S_OK);
        a5p_advance_ns(200 * kMs);
        ASSERT_EQ(WaitForSingleObject(recorder.closed(), 10000), WAIT_OBJECT_0);
        EXPECT_EQ(reader->Close(), NS_E_INVALID_REQUEST) << "closed once";
        reader->Release();
        EXPECT_EQ(recorder.refs(), 1u);
    }
    EXPECT_TRUE(threadsBackTo(threads));
}

TEST(WideNames, AnyByteStringSurvivesTheWayToTheFile) {
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "a\xc3\xa9\xf0\x9f\x8e\xb5", -1, nullptr, 0), 5) << "a, e-acute, a pair, NUL";
    char16_t small[2];
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, small, 2), 0) << "too small";
    EXPECT_EQ(MultiByteToWideChar(1252, 0, "abc", -1, nullptr, 0), 0) << "only UTF-8 code pages";
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 1, "abc", -1, nullptr, 0), 0) << "no flags";

    const std::string wma = media_reference::sharedMedia("wma", "wma_v1_mono_22050.wma");
    A5_SKIP_WITHOUT_SHARED(!wma.empty(), "shared media");
    const fs::path dir = fs::temp_directory_path() / ("a5_names_" + std::to_string(getpid()));
    fs::create_directories(dir);
    for (const std::string name : {"caf\xc3\xa9.wma", "bad\xff\xfe\xc3.wma", "\xed\xa0\x80surrogate.wma"}) {
        const std::string path = (dir / name).string();
        fs::copy_file(wma, path);
        Recorder recorder;
        HRESULT opened = E_FAIL;
        IWMReader* reader = openReader(path, recorder, &opened);
        EXPECT_EQ(opened, S_OK) << name;
        closeAndRelease(reader, recorder);
    }
    fs::remove_all(dir);
}

}  // namespace
