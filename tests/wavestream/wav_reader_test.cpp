#include "wav_reader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "wav_bytes.h"

using namespace wavestream;
using namespace wavtest;

namespace {

Bytes formatBytes(const WavReader& reader) {
    const WAVEFORMATEX* f = reader.format();
    if (f == nullptr) return {};
    Bytes out(sizeof(WAVEFORMATEX) + f->cbSize);
    std::memcpy(out.data(), f, out.size());
    return out;
}

// Reads the data to its end in pieces of `piece` bytes; stops at the first failure.
HRESULT readAll(WavReader& reader, Bytes& out, DWORD piece = 4093) {
    out.clear();
    Bytes block(piece);
    for (;;) {
        DWORD got = 0xDEAD;
        const HRESULT hr = reader.read(block.data(), piece, &got);
        if (FAILED(hr)) {
            EXPECT_EQ(got, 0u);
            return hr;
        }
        if (got == 0) return hr;
        out.insert(out.end(), block.begin(), block.begin() + got);
    }
}

Bytes pcmWav(const Bytes& data, std::uint16_t bits = 16) {
    return riffWave({chunk("fmt ", formatFields(WAVE_FORMAT_PCM, 2, 44100, bits)), chunk("data", data)});
}

TEST(WavReader, StereoPcmFileGivesItsFormatAndEveryDataByte) {
    WAV_MEDIA_OR_SKIP(path, "wav_pcm16_stereo_44100_10s.wav");
    const Bytes file = readFile(path);
    WavReader reader;
    ASSERT_EQ(reader.open(path.c_str(), nullptr), S_OK);
    const WAVEFORMATEX* f = reader.format();
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(f->nChannels, 2);
    EXPECT_EQ(f->nSamplesPerSec, 44100u);
    EXPECT_EQ(f->nAvgBytesPerSec, 176400u);
    EXPECT_EQ(f->nBlockAlign, 4);
    EXPECT_EQ(f->wBitsPerSample, 16);
    EXPECT_EQ(f->cbSize, 0);
    EXPECT_EQ(reader.dataSize(), 1764000u);

    Bytes data;
    EXPECT_EQ(readAll(reader, data, 33072), S_OK);
    EXPECT_EQ(data, slice(file, 44, 1764000));
}

TEST(WavReader, ReadStopsAtTheDataEndUntilRewound) {
    // A chunk behind the data must never leak into a read.
    const Bytes data = ramp(1000, 3);
    const Bytes image = riffWave({chunk("fmt ", formatFields(WAVE_FORMAT_PCM, 2, 44100, 16)),
                                  chunk("data", data), chunk("tail", ramp(64, 200))});
    WavReader reader;
    ASSERT_EQ(reader.openCopy(image), S_OK);
    Bytes got(1500);
    DWORD n = 0;
    ASSERT_EQ(reader.read(got.data(), 600, &n), S_OK);
    EXPECT_EQ(n, 600u);
    ASSERT_EQ(reader.read(got.data() + 600, 600, &n), S_OK);
    EXPECT_EQ(n, 400u);  // exactly what is left
    got.resize(1000);
    EXPECT_EQ(got, data);
    ASSERT_EQ(reader.read(got.data(), 600, &n), S_OK);
    EXPECT_EQ(n, 0u);

    ASSERT_EQ(reader.rewind(), S_OK);
    EXPECT_EQ(reader.dataSize(), 1000u);
    Bytes again;
    EXPECT_EQ(readAll(reader, again, 7), S_OK);
    EXPECT_EQ(again, data);
}

TEST(WavReader, ChunksMayStandInAnyOrder) {
    WAV_MEDIA_OR_SKIP(path, "wav_data_chunk_before_fmt.wav");
    const Bytes file = readFile(path);
    WavReader reader;
    ASSERT_EQ(reader.open(path.c_str(), nullptr), S_OK);
    EXPECT_EQ(reader.format()->nSamplesPerSec, 22050u);
    EXPECT_EQ(reader.format()->nChannels, 1);
    EXPECT_EQ(reader.dataSize(), 441000u);
    Bytes data;
    EXPECT_EQ(readAll(reader, data), S_OK);
    EXPECT_EQ(data, slice(file, 20, 441000));

    // Other chunks between the format and the data: LIST before data.
    WAV_MEDIA_OR_SKIP(door, "real_wav_list_chunk_before_data_door.wav");
    const Bytes doorFile = readFile(door);
    ASSERT_EQ(reader.open(door.c_str(), nullptr), S_OK);
    EXPECT_EQ(reader.format()->wBitsPerSample, 8);
    EXPECT_EQ(readAll(reader, data), S_OK);
    EXPECT_EQ(data, slice(doorFile, 12 + 24 + 52 + 8, 11642));
}

TEST(WavReader, PcmFormatChunkOf18BytesGivesNoExtraBytes) {
    WAV_MEDIA_OR_SKIP(path, "wav_fmt_chunk_18_bytes.wav");
    WavReader reader;
    ASSERT_EQ(reader.open(path.c_str(), nullptr), S_OK);
    EXPECT_EQ(formatBytes(reader).size(), 18u);
    EXPECT_EQ(reader.format()->cbSize, 0);
    EXPECT_EQ(reader.dataSize(), 110250u);

    // Even when the two trailing bytes of the chunk say otherwise.
    Bytes fmt = formatFields(WAVE_FORMAT_PCM, 1, 8000, 8);
    putLe(fmt, 0x1234, 2);
    ASSERT_EQ(reader.openCopy(riffWave({chunk("fmt ", fmt), chunk("data", ramp(8))})), S_OK);
    EXPECT_EQ(reader.format()->cbSize, 0);
    Bytes data;
    EXPECT_EQ(readAll(reader, data), S_OK);
    EXPECT_EQ(data, ramp(8));
}

TEST(WavReader, NonPcmFormatTakesItsExtraSizeFromTheBytesBehindTheFields) {
    // A 16-byte float format chunk: the extra size is read from the next chunk's id ("fa").
    WAV_MEDIA_OR_SKIP(path, "real_wav_ieee_float64_not_pcm.wav");
    const Bytes file = readFile(path);
    WavReader reader;
    ASSERT_EQ(reader.open(path.c_str(), nullptr), S_OK);
    const std::uint16_t extra = 'f' | ('a' << 8);
    ASSERT_EQ(reader.format()->cbSize, extra);
    const Bytes record = formatBytes(reader);
    EXPECT_EQ(slice(record, 0, 16), slice(file, 20, 16));
    EXPECT_EQ(slice(record, 18, extra), slice(file, 38, extra));
    EXPECT_EQ(reader.dataSize(), 68496u);

    // Compressed formats open with their whole extra block (ADPCM: 32 bytes).
    WAV_MEDIA_OR_SKIP(adpcm, "wav_ms_adpcm_stereo_44100.wav");
    const Bytes adpcmFile = readFile(adpcm);
    ASSERT_EQ(reader.open(adpcm.c_str(), nullptr), S_OK);
    EXPECT_EQ(reader.format()->wFormatTag, 2);
    EXPECT_EQ(formatBytes(reader), slice(adpcmFile, 20, 50));
    EXPECT_EQ(reader.dataSize(), 223232u);
}

TEST(WavReader, RefusesDamagedHeaders) {
    WavReader reader;
    const Bytes fmt16 = formatFields(WAVE_FORMAT_PCM, 2, 44100, 16);
    const Bytes data = chunk("data", ramp(16));
    struct Case {
        const char* what;
        Bytes image;
    } cases[] = {
        {"empty", {}},
        {"not RIFF",
         [&] {
             Bytes b = pcmWav(ramp(16));
             b[0] = std::byte{'X'};
             return b;
         }()},
        {"not WAVE",
         [&] {
             Bytes b = pcmWav(ramp(16));
             b[8] = std::byte{'X'};
             return b;
         }()},
        {"no fmt", riffWave({data})},
        {"fmt of 15 bytes", riffWave({chunk("fmt ", slice(fmt16, 0, 15)), data})},
        {"fmt cut off by the end of the file", slice(riffWave({chunk("fmt ", fmt16)}), 0, 12 + 8 + 10)},
        {"extra size cut off",
         [] {
             Bytes b = riffWave({chunk("fmt ", formatFields(3, 2, 44100, 32))});
             b.push_back(std::byte{1});
             return b;
         }()},
        {"extra bytes past the end",
         [&] {
             Bytes f = formatFields(2, 1, 8000, 4);
             putLe(f, 400, 2);
             return riffWave({chunk("fmt ", f), data});
         }()},
        {"fmt body runs past the end of the file", riffWave({data, chunk("fmt ", fmt16, 1000)})},
        {"no data", riffWave({chunk("fmt ", fmt16)})},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(reader.openCopy(c.image), E_FAIL) << c.what;
        EXPECT_EQ(reader.format() == nullptr, std::string(c.what) != "no data") << c.what;
        DWORD n = 0;
        std::byte b;
        // Without a data chunk the file stays open, but there is nothing to read.
        EXPECT_EQ(reader.read(&b, 1, &n), std::string(c.what) == "no data" ? S_OK : CO_E_NOTINITIALIZED)
            << c.what;
        EXPECT_EQ(n, 0u);
    }
}

TEST(WavReader, DataDeclaredLongerThanTheFileFailsTheReadThatMeetsTheEnd) {
    WAV_MEDIA_OR_SKIP(path, "wav_data_size_longer_than_file.wav");
    WavReader reader;
    ASSERT_EQ(reader.open(path.c_str(), nullptr), S_OK);
    EXPECT_EQ(reader.dataSize(), 641000u);
    Bytes block(441000);
    DWORD n = 0;
    ASSERT_EQ(reader.read(block.data(), 441000, &n), S_OK);  // all the file holds
    EXPECT_EQ(n, 441000u);
    EXPECT_EQ(reader.read(block.data(), 1, &n), E_FAIL);
    EXPECT_EQ(n, 0u);
    // A rewind makes the data readable again.
    ASSERT_EQ(reader.rewind(), S_OK);
    EXPECT_EQ(reader.read(block.data(), 1000, &n), S_OK);
    EXPECT_EQ(n, 1000u);
}

TEST(WavReader, OddDataWithoutItsPadByteReadsToTheEnd) {
    WAV_MEDIA_OR_SKIP(path, "real_wav_odd_data_size_no_pad_byte_alert.wav");
    const Bytes file = readFile(path);
    WavReader reader;
    ASSERT_EQ(reader.open(path.c_str(), nullptr), S_OK);
    Bytes data;
    EXPECT_EQ(readAll(reader, data), S_OK);
    EXPECT_EQ(data, slice(file, 44, 16537));
}

TEST(WavReader, RiffSizeFieldsAreHonoured) {
    // Declared RIFF size 36: the data header still starts inside, so it opens.
    WAV_MEDIA_OR_SKIP(pop, "real_wav_riff_size_field_wrong_pop.wav");
    WavReader reader;
    ASSERT_EQ(reader.open(pop.c_str(), nullptr), S_OK);
    EXPECT_EQ(reader.dataSize(), 3985u);
    // Declared RIFF size 8: its data chunk lies outside the RIFF chunk.
    WAV_MEDIA_OR_SKIP(zero, "real_wav_zero_size_data_and_chunks.wav");
    EXPECT_EQ(reader.open(zero.c_str(), nullptr), E_FAIL);
}

TEST(WavReader, EmptyDataChunkOpens) {
    WAV_MEDIA_OR_SKIP(path, "wav_empty_data_chunk.wav");
    WavReader reader;
    ASSERT_EQ(reader.open(path.c_str(), nullptr), S_OK);
    EXPECT_EQ(reader.dataSize(), 0u);
    std::byte b;
    DWORD n = 1;
    EXPECT_EQ(reader.read(&b, 1, &n), S_OK);
    EXPECT_EQ(n, 0u);
}

TEST(WavReader, CallsBeforeOpenOrAfterCloseAndBadArguments) {
    WavReader reader;
    std::byte b;
    DWORD n = 0;
    EXPECT_EQ(reader.dataSize(), 0u);
    EXPECT_EQ(reader.format(), nullptr);
    EXPECT_EQ(reader.rewind(), CO_E_NOTINITIALIZED);
    EXPECT_EQ(reader.read(&b, 1, &n), CO_E_NOTINITIALIZED);
    EXPECT_EQ(reader.open(nullptr, nullptr), E_INVALIDARG);
    EXPECT_EQ(reader.open("/nonexistent/song.wav", nullptr), E_FAIL);

    ASSERT_EQ(reader.openCopy(pcmWav(ramp(8))), S_OK);
    EXPECT_EQ(reader.read(nullptr, 1, &n), E_INVALIDARG);
    EXPECT_EQ(reader.read(&b, 1, nullptr), E_INVALIDARG);
    EXPECT_EQ(reader.close(), S_OK);
    // The format outlives the file; reading does not.
    ASSERT_NE(reader.format(), nullptr);
    EXPECT_EQ(reader.format()->nSamplesPerSec, 44100u);
    EXPECT_EQ(reader.read(&b, 1, &n), CO_E_NOTINITIALIZED);
    EXPECT_EQ(reader.rewind(), CO_E_NOTINITIALIZED);
    EXPECT_EQ(reader.close(), S_OK);
}

// A stand-in for the host program's resources, recording what was asked.
struct FakeResources {
    static inline std::vector<std::string> asked;
    static inline Bytes wave, wav;
    static inline bool waveExists = false, wavExists = false;

    static std::optional<std::span<const std::byte>> lookup(const char* name, const char* type) {
        asked.push_back(std::string(name) + "/" + type);
        if (std::string(type) == "WAVE" && waveExists) return std::span<const std::byte>(wave);
        if (std::string(type) == "WAV" && wavExists) return std::span<const std::byte>(wav);
        return std::nullopt;
    }
    static void reset() {
        asked.clear();
        wave.clear();
        wav.clear();
        waveExists = wavExists = false;
    }
};

TEST(WavReader, NamesThatOpenNoFileComeFromResourcesWaveBeforeWav) {
    FakeResources::reset();
    FakeResources::wave = pcmWav(ramp(10, 1));
    FakeResources::wav = pcmWav(ramp(20, 2));
    FakeResources::waveExists = FakeResources::wavExists = true;
    WavReader reader;
    ASSERT_EQ(reader.open("song", FakeResources::lookup), S_OK);
    EXPECT_EQ(FakeResources::asked, std::vector<std::string>{"song/WAVE"});
    EXPECT_EQ(reader.dataSize(), 10u);
    // The reader works on its own copy: the resource's bytes may change under it.
    FakeResources::wave.assign(FakeResources::wave.size(), std::byte{0});
    Bytes data;
    EXPECT_EQ(readAll(reader, data), S_OK);
    EXPECT_EQ(data, ramp(10, 1));

    FakeResources::asked.clear();
    FakeResources::waveExists = false;
    ASSERT_EQ(reader.open("song", FakeResources::lookup), S_OK);
    EXPECT_EQ(FakeResources::asked, (std::vector<std::string>{"song/WAVE", "song/WAV"}));
    EXPECT_EQ(reader.dataSize(), 20u);

    // A "WAVE" resource that exists but is empty is an error; "WAV" is not tried.
    FakeResources::asked.clear();
    FakeResources::waveExists = true;
    FakeResources::wave.clear();
    EXPECT_EQ(reader.open("song", FakeResources::lookup), E_FAIL);
    EXPECT_EQ(FakeResources::asked, std::vector<std::string>{"song/WAVE"});

    FakeResources::reset();
    EXPECT_EQ(reader.open("song", FakeResources::lookup), E_FAIL);
    EXPECT_EQ(reader.format(), nullptr);
}

TEST(WavReader, AFileWinsOverAResourceOfTheSameName) {
    WAV_MEDIA_OR_SKIP(path, "wav_pcm8_mono_11025.wav");
    FakeResources::reset();
    FakeResources::wave = pcmWav(ramp(10));
    FakeResources::waveExists = true;
    WavReader reader;
    ASSERT_EQ(reader.open(path.c_str(), FakeResources::lookup), S_OK);
    EXPECT_TRUE(FakeResources::asked.empty());
    EXPECT_EQ(reader.dataSize(), 110250u);
}

}  // namespace
