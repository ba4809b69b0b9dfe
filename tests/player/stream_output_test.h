// Checks shared by the tests of the two timer-fed stream kinds: the buffer a file gets, and
// how a non-looping stream ends.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "buffer_stream.h"
#include "player_fixture.h"

namespace orvox::test {

struct FormatCase {
    const char* file;
    WORD channels;
    DWORD rate;
    int32_t period;
};

class StreamOutputTest : public PlayerTest {
protected:
    // Plays `path` looping as sound `index` and checks its buffer against `c`.
    void expectBufferFor(const std::string& path, int index, const FormatCase& c) {
        SCOPED_TRACE(c.file);
        ASSERT_EQ(play(path, true), host::toFixed(index));
        const stream::BufferStream* s = bufferStream(index);
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->period(), c.period);
        const WAVEFORMATEX& f = s->format();
        EXPECT_EQ(f.wFormatTag, WAVE_FORMAT_PCM);
        EXPECT_EQ(f.nChannels, c.channels);
        EXPECT_EQ(f.nSamplesPerSec, c.rate);
        EXPECT_EQ(f.wBitsPerSample, 16);
        EXPECT_EQ(f.nBlockAlign, 2 * c.channels);
        EXPECT_EQ(f.nAvgBytesPerSec, 2u * c.channels * c.rate);

        DSBCAPS caps{sizeof(DSBCAPS), 0, 0, 0, 0};
        ASSERT_EQ(s->buffer()->GetCaps(&caps), DS_OK);
        EXPECT_EQ(caps.dwBufferBytes, 65536u);
        EXPECT_EQ(caps.dwFlags & ~DSBCAPS_LOCSOFTWARE, 0x80E0u);
    }

    // Sound 0 plays `durationMs` of audio without looping: `playing` must read 0 from the
    // tick whose region reaches past the data. The buffer plays on until that stretch has
    // been heard, stops within three ticks, and the ended stream is released at the next
    // call.
    void expectEndAtTheTickThatMeetsIt(double durationMs) {
        const int period = bufferStream(0)->period();
        // Look just after each tick.
        int endTick = 0;
        for (int tick = 1; tick < 400 && endTick == 0; ++tick) {
            advanceMs(tick == 1 ? period + 1 : period);
            if (!player_->isPlaying(0)) endTick = tick;
            if (endTick == 0) {
                EXPECT_TRUE(bufferPlaying(0));
            }
        }
        const int expected = static_cast<int>(std::ceil(durationMs / period));
        EXPECT_GE(endTick, expected);
        EXPECT_LE(endTick, expected + 1);
        EXPECT_TRUE(bufferPlaying(0)) << "the last stretch is still to be heard";
        advanceMs(3 * period);
        EXPECT_FALSE(bufferPlaying(0));
        EXPECT_EQ(player_->isPlaying(0), 0);
        EXPECT_EQ(bufferStream(0)->buffer(), nullptr) << "an ended stream keeps no buffer";
        // Nothing restarts it afterwards.
        player_->togglePause(0);
        advanceMs(1000);
        EXPECT_EQ(player_->isPlaying(0), 0);
    }
};

}  // namespace orvox::test
