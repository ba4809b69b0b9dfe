#include "song_stream.h"

#include <gtest/gtest.h>

#include "fake_sound.h"
#include "wav_bytes.h"

using namespace wavestream;
using namespace wavtest;

namespace {

constexpr DWORD kBlock = 8;
constexpr DWORD kBlocks = 16;
constexpr DWORD kRing = kBlock * kBlocks;

// A stream over a fake buffer of 16 blocks of 8 bytes, playing `data` with `bits` per sample.
struct Rig {
    FakeBuffer* buffer;
    std::unique_ptr<SongStream> stream;

    explicit Rig(const Bytes& data, std::uint16_t bits = 16, std::optional<std::uint32_t> declared = {}) {
        auto reader = std::make_unique<WavReader>();
        const Bytes image = riffWave(
            {chunk("fmt ", formatFields(WAVE_FORMAT_PCM, 1, 8000, bits)), chunk("data", data, declared)});
        EXPECT_EQ(reader->openCopy(image), S_OK);
        buffer = new FakeBuffer(kRing);
        buffer->AddRef();  // ours, to look at it after the stream is gone
        stream = std::make_unique<SongStream>(ComPtr<IDirectSoundBuffer>(buffer), kRing, std::move(reader),
                                              kBlock);
    }
    ~Rig() {
        stream.reset();
        buffer->Release();
    }

    // Moves the cursor past the end of the block it is in and answers the notification.
    HRESULT notify(bool loop) {
        buffer->cursor = (buffer->cursor / kBlock + 1) * kBlock % kRing;
        return stream->refill(loop);
    }

    // Plays `blocks` notifications on from a fresh fill and returns the bytes in the order
    // they would be heard: the ring as filled, then every block as it was rewritten.
    Bytes heard(bool loop, int blocks) {
        EXPECT_EQ(stream->reset(), S_OK);
        EXPECT_EQ(stream->fill(loop), S_OK);
        Bytes out = buffer->data;
        for (int i = 0; i < blocks; ++i) {
            const DWORD block = buffer->cursor / kBlock;
            EXPECT_EQ(notify(loop), S_OK);
            const Bytes written = slice(buffer->data, block * kBlock, kBlock);
            out.insert(out.end(), written.begin(), written.end());
        }
        return out;
    }
};

Bytes repeated(const Bytes& song, std::size_t length) {
    Bytes out;
    while (out.size() < length) out.push_back(song[out.size() % song.size()]);
    return out;
}

Bytes padded(const Bytes& song, std::size_t length, std::byte silence) {
    Bytes out = song;
    out.resize(length, silence);
    return out;
}

TEST(SongBlockSize, IsThreeSixteenthsOfASecondInWholeFrames) {
    auto format = [](std::uint16_t channels, std::uint32_t rate, std::uint16_t bits, std::uint16_t align) {
        WAVEFORMATEX f{};
        f.nChannels = channels;
        f.nSamplesPerSec = rate;
        f.wBitsPerSample = bits;
        f.nBlockAlign = align;
        return f;
    };
    EXPECT_EQ(songBlockSize(format(2, 44100, 16, 4)), 33072u);
    EXPECT_EQ(songBlockSize(format(1, 11025, 8, 1)), 2067u);
    EXPECT_EQ(songBlockSize(format(1, 44100, 24, 3)), 24804u);  // 24806.25 lowered to frames
    EXPECT_EQ(songBlockSize(format(2, 44100, 16, 0)), 0u);
    EXPECT_EQ(songBlockSize(format(2, 5, 16, 4)), 0u);
}

TEST(SongStream, IsCreatedFilledWithTheSongStartAndItsCursorAtZero) {
    for (std::uint16_t bits : {8, 16}) {
        const std::byte silence = bits == 8 ? std::byte{0x80} : std::byte{0};
        const Bytes song = ramp(40, 1);
        Rig rig(song, bits);
        EXPECT_EQ(rig.buffer->data, padded(song, kRing, silence)) << bits;
        EXPECT_EQ(rig.buffer->cursor, 0u);
        EXPECT_FALSE(rig.buffer->playing);
        EXPECT_EQ(rig.buffer->lockedRegions, 0);
    }
}

TEST(SongStream, LoopingSongsRepeatSeamlessly) {
    // Shorter than the ring; ending inside a block; ending exactly at a block's end; longer.
    for (std::size_t size : {40u, 132u, 136u, 300u}) {
        const Bytes song = ramp(size, 9);
        Rig rig(song);
        const Bytes heard = rig.heard(true, 60);
        EXPECT_EQ(heard, repeated(song, heard.size())) << size;
    }
}

TEST(SongStream, NonLoopingSongsEndInSilenceAndStopWithinOneBlock) {
    for (std::uint16_t bits : {8, 16}) {
        const std::byte silence = bits == 8 ? std::byte{0x80} : std::byte{0};
        for (std::size_t size : {40u, 200u, 256u}) {
            const Bytes song = ramp(size, 3);
            Rig rig(song, bits);
            ASSERT_EQ(rig.stream->reset(), S_OK);
            ASSERT_EQ(rig.stream->fill(false), S_OK);
            ASSERT_EQ(rig.stream->play(0, DSBPLAY_LOOPING), S_OK);
            Bytes heard = rig.buffer->data;
            DWORD played = 0;
            while (rig.buffer->playing && played < 10 * kRing) {
                const DWORD block = rig.buffer->cursor / kBlock;
                ASSERT_EQ(rig.notify(false), S_OK);
                played += kBlock;
                const Bytes written = slice(rig.buffer->data, block * kBlock, kBlock);
                heard.insert(heard.end(), written.begin(), written.end());
            }
            // Stopped at the first notification at which the bytes played reached the song.
            EXPECT_EQ(rig.buffer->stopCalls, 1) << size;
            EXPECT_GE(played, size);
            EXPECT_LT(played - size, kBlock);
            EXPECT_EQ(heard, padded(song, heard.size(), silence)) << bits << " " << size;
            EXPECT_FALSE(rig.stream->isPlaying());
        }
    }
}

TEST(SongStream, AStaleWakeUpWritesNothing) {
    const Bytes song = ramp(300, 5);
    Rig rig(song);
    ASSERT_EQ(rig.stream->reset(), S_OK);
    ASSERT_EQ(rig.stream->fill(true), S_OK);
    const Bytes before = rig.buffer->data;
    // The cursor is still in block 0: a notification left over from before the reset.
    rig.buffer->cursor = 3;
    ASSERT_EQ(rig.stream->refill(true), S_OK);
    EXPECT_EQ(rig.buffer->data, before);
    // The real notification then writes block 0 with what follows the ring.
    ASSERT_EQ(rig.notify(true), S_OK);
    EXPECT_EQ(slice(rig.buffer->data, 0, kBlock), slice(song, kRing, kBlock));
}

TEST(SongStream, ResetRewindsToTheStartOfTheSong) {
    const Bytes song = ramp(300, 5);
    Rig rig(song);
    const Bytes first = rig.heard(false, 20);
    rig.buffer->cursor = 77;
    EXPECT_EQ(rig.heard(false, 20), first);
}

TEST(SongStream, ALostBufferIsRestoredAndRefilledFromTheStart) {
    const Bytes song = ramp(300, 5);
    Rig rig(song);
    ASSERT_EQ(rig.stream->fill(true), S_OK);
    for (int i = 0; i < 5; ++i) ASSERT_EQ(rig.notify(true), S_OK);
    rig.buffer->lost = true;
    rig.buffer->restoreLostFailures = 2;  // still lost twice: waits 10 ms each
    std::fill(rig.buffer->data.begin(), rig.buffer->data.end(), std::byte{0x55});
    ASSERT_EQ(rig.notify(true), S_OK);
    EXPECT_EQ(rig.buffer->restoreCalls, 3);
    EXPECT_EQ(rig.buffer->data, slice(song, 0, kRing));

    // Play restores too, and positions at the start.
    rig.buffer->lost = true;
    rig.buffer->cursor = 40;
    ASSERT_EQ(rig.stream->play(0, DSBPLAY_LOOPING), S_OK);
    EXPECT_EQ(rig.buffer->cursor, 0u);
    EXPECT_TRUE(rig.stream->isPlaying());
}

TEST(SongStream, ARestoreFailingOtherwiseGivesUpAfterABound) {
    Rig rig(ramp(300));
    rig.buffer->lost = true;
    rig.buffer->otherFailure = DSERR_GENERIC;
    rig.buffer->restoreOtherFailures = 1000;
    EXPECT_EQ(rig.stream->refill(false), DSERR_GENERIC);
    EXPECT_EQ(rig.buffer->restoreCalls, 100);
    EXPECT_EQ(rig.stream->fill(false), DSERR_GENERIC);
    EXPECT_EQ(rig.stream->reset(), DSERR_GENERIC);
    EXPECT_EQ(rig.stream->play(0, 0), DSERR_GENERIC);

    // A few failures are ridden out.
    rig.buffer->restoreOtherFailures = 5;
    EXPECT_EQ(rig.stream->fill(false), S_OK);
    EXPECT_FALSE(rig.buffer->lost);
}

TEST(SongStream, AReadFailureFailsTheRefillButAPlayStartsAgain) {
    // Declared 1000 data bytes, 150 present.
    const Bytes song = ramp(150, 11);
    Rig rig(song, 16, 1000);
    ASSERT_EQ(rig.stream->fill(false), S_OK);
    ASSERT_EQ(rig.notify(false), S_OK);    // bytes 128..135
    ASSERT_EQ(rig.notify(false), S_OK);    // 136..143
    EXPECT_EQ(rig.notify(false), E_FAIL);  // 144..151 runs off the file
    EXPECT_EQ(rig.buffer->lockedRegions, 0);
    ASSERT_EQ(rig.stream->stop(), S_OK);
    ASSERT_EQ(rig.stream->reset(), S_OK);
    ASSERT_EQ(rig.stream->fill(false), S_OK);
    EXPECT_EQ(rig.buffer->data, slice(song, 0, kRing));
}

TEST(SongStream, VolumeGoesToTheBuffer) {
    Rig rig(ramp(16));
    EXPECT_EQ(rig.stream->setVolume(-1000), S_OK);
    EXPECT_EQ(rig.stream->volume(), -1000);
    EXPECT_EQ(rig.stream->setVolume(5), DSERR_INVALIDPARAM);
    EXPECT_EQ(rig.stream->volume(), -1000);
}

}  // namespace
