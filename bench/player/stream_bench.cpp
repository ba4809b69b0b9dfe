// Cost of streams through the player: CPU time of the whole process (decoding on the timer
// or reader threads, mixing, timers) per second of audio for 1 and 32 looping Ogg and MP3
// streams and 1 and 8 Windows Media streams (WMA and FLAC), and the memory each stream
// holds; the media reader's own CPU per second of audio; the time Orvox_Play takes for an
// Ogg and a WMA file (the latter with its wait on the end event); and what the MP3 probe
// costs on a large file that is not MPEG audio. Built twice: under the virtual clock (time
// runs as fast as the work allows) and with the real-time null output.
#include <benchmark/benchmark.h>
#include <mpegaudio/decoder.h>
#include <mpegaudio/file_modules.h>
#include <mpegaudio/mpeg_codec.h>
#include <plat/a5platform.h>
#include <plat/dsound.h>
#include <plat/winbase.h>
#include <plat/winnls.h>
#include <plat/wmsdk.h>
#include <time.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine_interface.h"
#include "engine_records.h"
#include "ffmpeg_reference.h"
#include "mp3_stream.h"
#include "player.h"

namespace {

const std::filesystem::path kMedia = std::filesystem::path(A5_SHARED_DIR) / "media";
const std::string kMusic = (kMedia / "ogg" / "ogg_stereo_44100_music_skull_stones.ogg").string();
const std::string kMp3 = (kMedia / "mpeg" / "mp3_cbr128_jointstereo_44100.mp3").string();
const std::string kWma = (kMedia / "wma" / "wma_v2_stereo_44100.wma").string();

// A FLAC copy of 10 s of 44.1 kHz stereo PCM, made once.
const std::string& flacFile() {
    static const std::string path = [] {
        const std::string wav = (kMedia / "wav" / "wav_pcm16_stereo_44100_10s.wav").string();
        const std::string flac = (std::filesystem::temp_directory_path() / "orvox_bench_music.flac").string();
        const media_reference::Decoded pcm = media_reference::decode(wav);
        if (!pcm.ok() || !media_reference::writeFlac(flac, pcm.pcm, pcm.rate, pcm.channels)) return std::string();
        return flac;
    }();
    return path;
}

// Resident memory of the process in KiB (VmRSS), or -1.
long residentKib() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    }
    return -1;
}

double processCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

struct Engine {
    Engine() {
        DirectSoundCreate(nullptr, &device, nullptr);
        records.setSound(device, nullptr);
        A5_DLLAPI(records.interfaceRecord());
    }
    ~Engine() {
        A5_DLLAPI(nullptr);
        device->Release();
    }
    IDirectSound* device = nullptr;
    host::EngineRecords records;
};

void BM_StreamsCpuPerAudioSecond(benchmark::State& state, const std::string& file) {
    if (!std::filesystem::exists(file)) {
        state.SkipWithError("shared media absent");
        return;
    }
    const auto streams = static_cast<int>(state.range(0));
    const double audioSeconds = a5p_is_virtual_clock() ? 10.0 : 2.0;
    Engine engine;
    bool first = true;
    for (auto _ : state) {
        const long resident = residentKib();
        auto player = std::make_unique<orvox::Player>();
        for (int i = 0; i < streams; ++i) player->play(file.c_str(), host::toFixed(1));
        const double before = processCpuSeconds();
        a5p_advance_ns(static_cast<uint64_t>(audioSeconds * 1e9));
        const double cpu = processCpuSeconds() - before;
        state.SetIterationTime(cpu);
        state.counters["cpu_ms_per_audio_s"] = cpu / audioSeconds * 1e3;
        // Memory each playing stream holds beyond its 64 KiB sound buffer, from the first
        // round only (later rounds reuse what the first one freed). Meaningful when the case
        // runs alone in its process (--benchmark_filter).
        if (first)
            state.counters["rss_kib_per_stream"] =
                static_cast<double>(residentKib() - resident) / streams - 64.0;
        first = false;
        player.reset();
    }
}
BENCHMARK_CAPTURE(BM_StreamsCpuPerAudioSecond, ogg, kMusic)
    ->Arg(1)
    ->Arg(32)
    ->UseManualTime()
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_StreamsCpuPerAudioSecond, mp3, kMp3)
    ->Arg(1)
    ->Arg(32)
    ->UseManualTime()
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_StreamsCpuPerAudioSecond, wma, kWma)
    ->Arg(1)
    ->Arg(8)
    ->UseManualTime()
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_StreamsCpuPerAudioSecond, flac, flacFile())
    ->Arg(1)
    ->Arg(8)
    ->UseManualTime()
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond);

// The reader alone: decoding, conversion and delivery to a callback that keeps nothing.
class Discard final : public IWMReaderCallback {
public:
    HANDLE opened = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE closed = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ~Discard() {
        CloseHandle(opened);
        CloseHandle(closed);
    }
    HRESULT QueryInterface(REFIID, void** object) override {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }
    HRESULT OnStatus(WMT_STATUS status, HRESULT, WMT_ATTR_DATATYPE, BYTE*, void*) override {
        if (status == WMT_OPENED) SetEvent(opened);
        if (status == WMT_CLOSED) SetEvent(closed);
        return S_OK;
    }
    HRESULT OnSample(DWORD, QWORD, QWORD, DWORD, INSSBuffer* sample, void*) override {
        BYTE* data = nullptr;
        DWORD bytes = 0;
        sample->GetBufferAndLength(&data, &bytes);
        benchmark::DoNotOptimize(data);
        return S_OK;
    }
};

void BM_ReaderCpuPerAudioSecond(benchmark::State& state, const std::string& file) {
    if (file.empty() || !std::filesystem::exists(file) || !a5p_is_virtual_clock()) {
        state.SkipWithError("shared media absent, or not under the virtual clock");
        return;
    }
    std::u16string name(static_cast<size_t>(MultiByteToWideChar(CP_ACP, 0, file.c_str(), -1, nullptr, 0)), u'\0');
    MultiByteToWideChar(CP_ACP, 0, file.c_str(), -1, name.data(), static_cast<int>(name.size()));
    constexpr double kAudioSeconds = 9.5;  // both files last 10 s
    for (auto _ : state) {
        Discard callback;
        IWMReader* reader = nullptr;
        WMCreateReader(nullptr, 0, &reader);
        reader->Open(name.c_str(), &callback, nullptr);
        WaitForSingleObject(callback.opened, INFINITE);
        const double before = processCpuSeconds();
        reader->Start(0, 0, 1.0f, nullptr);
        a5p_advance_ns(static_cast<uint64_t>(kAudioSeconds * 1e9));
        const double cpu = processCpuSeconds() - before;
        state.SetIterationTime(cpu);
        state.counters["cpu_ms_per_audio_s"] = cpu / kAudioSeconds * 1e3;
        reader->Close();
        WaitForSingleObject(callback.closed, INFINITE);
        reader->Release();
    }
}
BENCHMARK_CAPTURE(BM_ReaderCpuPerAudioSecond, wma, kWma)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReaderCpuPerAudioSecond, flac, flacFile())
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

// Orvox_Play from the call to its return; for a WMA file that is the reader's open, the
// start and the wait of up to 50 ms on the end event.
void BM_PlayLatency(benchmark::State& state, const std::string& file) {
    if (!std::filesystem::exists(file)) {
        state.SkipWithError("shared media absent");
        return;
    }
    Engine engine;
    auto player = std::make_unique<orvox::Player>();
    int plays = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(player->play(file.c_str(), 0));
        if (++plays == 64) {
            state.PauseTiming();
            player = std::make_unique<orvox::Player>();
            plays = 0;
            state.ResumeTiming();
        }
    }
}
BENCHMARK_CAPTURE(BM_PlayLatency, ogg, kMusic)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_PlayLatency, wma, kWma)->Unit(benchmark::kMicrosecond);

// 10 MB of random bytes: no MPEG audio, but sync patterns everywhere.
class NonMpegFile {
public:
    NonMpegFile() : path_((std::filesystem::temp_directory_path() / "orvox_bench_non_mpeg.bin").string()) {
        std::mt19937 random(1);
        std::vector<char> data(10 << 20);
        for (char& c : data) c = static_cast<char>(random());
        std::ofstream(path_, std::ios::binary).write(data.data(), static_cast<std::streamsize>(data.size()));
    }
    ~NonMpegFile() { std::filesystem::remove(path_); }
    const char* path() const { return path_.c_str(); }

private:
    std::string path_;
};

void BM_Mp3ProbeOnNonMpegFile(benchmark::State& state) {
    const NonMpegFile file;
    for (auto _ : state) {
        const auto probe = orvox::stream::makeMp3Stream();
        benchmark::DoNotOptimize(probe->open(file.path(), true, nullptr));
    }
}
BENCHMARK(BM_Mp3ProbeOnNonMpegFile)->Unit(benchmark::kMicrosecond);

// The decoder's first decode alone on the same file, as a probe without the evidence
// rule would run it: its frame search has no limit.
void BM_FirstDecodeOnNonMpegFile(benchmark::State& state) {
    const NonMpegFile file;
    for (auto _ : state) {
        Decoder* d = nullptr;
        decoder_create(&d);
        decoder_register_codec(d, mpeg_codec_module());
        decoder_register_input(d, file_input_module());
        decoder_attach_input(d, file.path(), -1);
        decoder_open_input(d);
        benchmark::DoNotOptimize(decoder_decode(d, nullptr));
        decoder_destroy(d);
    }
}
BENCHMARK(BM_FirstDecodeOnNonMpegFile)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    A5PlatformConfig config{A5_OUTPUT_NULL, nullptr, 44100, 2, ORVOX_BENCH_VIRTUAL, 0};
    if (a5p_configure(&config) != 0) return 2;
    // The player writes its log in the working directory.
    const auto dir = std::filesystem::temp_directory_path() / ("orvox_bench_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    std::filesystem::current_path(dir);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    a5p_shutdown();
    std::filesystem::remove_all(dir);
    if (!flacFile().empty()) std::filesystem::remove(flacFile());
    return 0;
}
