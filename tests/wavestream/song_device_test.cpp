#include "song_device.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "fake_sound.h"
#include "wav_bytes.h"

using namespace wavestream;
using namespace wavtest;

namespace {

struct DeviceRig {
    FakeDevice* fake = new FakeDevice;
    SongDevice device;
    std::filesystem::path song;

    DeviceRig() : device(adopt(fake)) {
        song = std::filesystem::temp_directory_path() /
               ("song_device_test_" + std::to_string(::getpid()) + ".wav");
        writeFile(song, riffWave({chunk("fmt ", formatFields(WAVE_FORMAT_PCM, 2, 44100, 16)),
                                  chunk("data", ramp(4000))}));
    }
    ~DeviceRig() {
        std::filesystem::remove(song);
        fake->Release();
    }

    static ComPtr<IDirectSound8> adopt(FakeDevice* device) {
        device->AddRef();  // one for the rig to look at
        return ComPtr<IDirectSound8>(device);
    }
};

TEST(SongDevice, CreateStreamDescribesTheRingAndNotifiesAtTheEndOfEveryBlock) {
    DeviceRig rig;
    const HANDLE event = reinterpret_cast<HANDLE>(0x1234);
    std::unique_ptr<SongStream> stream;
    ASSERT_EQ(rig.device.createStream(rig.song.c_str(), DSBCAPS_CTRLVOLUME, DS3DALG_DEFAULT, 16, 33072, event,
                                      nullptr, stream),
              S_OK);
    ASSERT_TRUE(stream);
    const DSBUFFERDESC& desc = rig.fake->lastDesc;
    EXPECT_EQ(desc.dwSize, 36u);
    EXPECT_EQ(desc.dwFlags, 0x10180u);
    EXPECT_EQ(desc.dwBufferBytes, 529152u);
    EXPECT_TRUE(desc.guid3DAlgorithm == DS3DALG_DEFAULT);
    // The file's 16 format bytes and an extra size of 0.
    Bytes expectedFormat = slice(readFile(rig.song), 20, 16);
    putLe(expectedFormat, 0, 2);
    EXPECT_EQ(rig.fake->lastFormat, expectedFormat);

    const auto& positions = rig.fake->lastBuffer->notifications;
    ASSERT_EQ(positions.size(), 16u);
    for (DWORD i = 0; i < 16; ++i) {
        EXPECT_EQ(positions[i].dwOffset, 33072 * (i + 1) - 1);
        EXPECT_EQ(positions[i].hEventNotify, event);
    }
    EXPECT_EQ(positions.front().dwOffset, 33071u);
    EXPECT_EQ(positions.back().dwOffset, 529151u);
    // Filled with the song's start, 4000 bytes, then silence.
    const Bytes& ring = rig.fake->lastBuffer->data;
    EXPECT_EQ(slice(ring, 0, 4000), ramp(4000));
    EXPECT_EQ(slice(ring, 4000, ring.size() - 4000), Bytes(ring.size() - 4000, std::byte{0}));
}

TEST(SongDevice, CreateStreamFailures) {
    DeviceRig rig;
    const HANDLE event = reinterpret_cast<HANDLE>(0x1234);
    std::unique_ptr<SongStream> stream;
    EXPECT_EQ(rig.device.createStream(nullptr, 0, DS3DALG_DEFAULT, 16, 8, event, nullptr, stream),
              E_INVALIDARG);
    EXPECT_EQ(rig.device.createStream(rig.song.c_str(), 0, DS3DALG_DEFAULT, 16, 8, nullptr, nullptr, stream),
              E_INVALIDARG);
    EXPECT_EQ(
        rig.device.createStream("/nonexistent/x.wav", 0, DS3DALG_DEFAULT, 16, 8, event, nullptr, stream),
        E_FAIL);
    rig.fake->createResult = DSERR_BADFORMAT;
    EXPECT_EQ(rig.device.createStream(rig.song.c_str(), 0, DS3DALG_DEFAULT, 16, 8, event, nullptr, stream),
              DSERR_BADFORMAT);
    EXPECT_FALSE(stream);

    SongDevice none;
    EXPECT_EQ(none.createStream(rig.song.c_str(), 0, DS3DALG_DEFAULT, 16, 8, event, nullptr, stream),
              CO_E_NOTINITIALIZED);
    EXPECT_EQ(none.setPrimaryFormat(2, 44100, 16), CO_E_NOTINITIALIZED);
}

TEST(SongDevice, PrimaryFormatIsPcmWithDerivedAlignmentAndRate) {
    DeviceRig rig;
    ASSERT_EQ(rig.device.setPrimaryFormat(2, 22050, 16), S_OK);
    EXPECT_EQ(rig.fake->lastDesc.dwFlags, DSBCAPS_PRIMARYBUFFER);
    EXPECT_EQ(rig.fake->lastDesc.dwBufferBytes, 0u);
    EXPECT_EQ(rig.fake->lastDesc.lpwfxFormat, nullptr);
    const WAVEFORMATEX& f = rig.fake->lastBuffer->primaryFormat;
    EXPECT_EQ(f.wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(f.nChannels, 2);
    EXPECT_EQ(f.nSamplesPerSec, 22050u);
    EXPECT_EQ(f.wBitsPerSample, 16);
    EXPECT_EQ(f.nBlockAlign, 4);
    EXPECT_EQ(f.nAvgBytesPerSec, 88200u);
    EXPECT_EQ(f.cbSize, 0);
}

}  // namespace
