// What an Ogg Vorbis stream sends to the output, compared with libvorbisfile's own decode
// of the same file. The output runs at 44.1 kHz stereo: files at that rate pass through
// the mixer unchanged at full volume, so they must match sample for sample; files at
// other rates are resampled by the mixer, so their speed is measured instead.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "buffer_stream.h"
#include "ogg_writer.h"
#include "output_compare.h"
#include "player_fixture.h"
#include "stream_output_test.h"

namespace orvox::test {
namespace {

class OggOutput : public StreamOutputTest {
protected:
    // Plays `path` once, from just after the start of a mixing block, and captures `ms` of
    // output; with `refusedTick` > 0 the Lock of that refill tick fails.
    std::vector<int16_t> renderOnce(const std::string& path, int refusedTick, double ms) {
        const uint64_t nextBlock = (a5p_frames_mixed() + kMixBlockFrames) * 1'000'000'000ull / kOutputRate;
        advanceMs(static_cast<double>(nextBlock - a5p_now_ns() + 1000) / 1e6);
        Capture capture;
        const int32_t result = play(path, false);
        EXPECT_GE(result, 0);
        TrackedBuffer* buffer = device_->last();
        double elapsed = 0;
        if (refusedTick > 0) {
            elapsed = refusedTick * bufferStream(host::toInt(result))->period() - 1;
            advanceMs(elapsed);
            buffer->refuseLocks(1);
        }
        advanceMs(ms - elapsed);
        EXPECT_EQ(buffer->locksStillToRefuse(), 0);
        return capture.samples();
    }
};

TEST_F(OggOutput, StereoFileIsHeardSampleForSampleOneBufferAfterStart) {
    REQUIRE_MEDIA(path, "ogg_stereo_44100_music_skull_stones.ogg");
    const std::vector<int16_t> decoded = decodeOgg(path);
    ASSERT_GT(decoded.size(), 44100u * 2 * 3);
    Capture capture;
    ASSERT_EQ(play(path, false), 0);
    advanceMs(2500);

    const std::vector<int16_t> out = capture.samples();
    const long offset = firstNonZeroFrame(out, 2) - firstNonZeroFrame(decoded, 2);
    EXPECT_NEAR(offset, kStereoLatencyFrames, kMixBlockFrames);
    EXPECT_TRUE(std::all_of(out.begin(), out.begin() + 2 * std::max(offset, 0L), [](int16_t s) { return s == 0; }))
        << "the buffer's initial content is silence";
    long compared = 0;
    EXPECT_EQ(mismatchedFrames(out, offset, decoded, &compared), 0);
    EXPECT_GT(compared, 44100 * 2) << "two seconds of decoded audio reached the output";
}

TEST_F(OggOutput, MonoFileFillsBothChannelsAtItsOwnSpeed) {
    REQUIRE_MEDIA(path, "ogg_mono_44100_music_amidst_the_raindrops.ogg");
    const std::vector<int16_t> mono = decodeOgg(path);
    std::vector<int16_t> stereo;
    for (int16_t s : mono) stereo.insert(stereo.end(), {s, s});
    Capture capture;
    ASSERT_EQ(play(path, false), 0);
    ASSERT_EQ(bufferStream(0)->format().nChannels, 1);
    advanceMs(2500);

    const std::vector<int16_t> out = capture.samples();
    const long offset = firstNonZeroFrame(out, 2) - firstNonZeroFrame(stereo, 2);
    // 65536 bytes of 16-bit mono last twice as long as of stereo.
    EXPECT_NEAR(offset, 2 * kStereoLatencyFrames, kMixBlockFrames);
    long compared = 0;
    EXPECT_EQ(mismatchedFrames(out, offset, stereo, &compared), 0);
    EXPECT_GT(compared, 44100);
}

TEST_F(OggOutput, LoopingFileRepeatsWithoutGapOrRepeatedBlock) {
    // 61 ms of audio: several passes fall into every refill region.
    REQUIRE_MEDIA(path, "ogg_short_0.06s_dialog-information.oga");
    const std::vector<int16_t> first = decodeOgg(path);
    const std::vector<int16_t> again = decodeOgg(path, 1);  // each later pass starts at sample 1
    ASSERT_EQ(again.size() + 2, first.size());
    std::vector<int16_t> expected = first;
    while (expected.size() < 44100u * 2 * 4) expected.insert(expected.end(), again.begin(), again.end());

    Capture capture;
    ASSERT_EQ(play(path, true), 0);
    advanceMs(3000);
    EXPECT_TRUE(player_->isPlaying(0));

    const std::vector<int16_t> out = capture.samples();
    const long offset = firstNonZeroFrame(out, 2) - firstNonZeroFrame(first, 2);
    EXPECT_NEAR(offset, kStereoLatencyFrames, kMixBlockFrames);
    long compared = 0;
    EXPECT_EQ(mismatchedFrames(out, offset, expected, &compared), 0);
    EXPECT_GT(compared, 44100 * 2);
}

// Normalised correlation of the output's left channel with itself `lag` frames later.
double selfCorrelation(const std::vector<int16_t>& out, long from, long length, long lag) {
    double xy = 0, xx = 0, yy = 0;
    for (long i = from; i < from + length; ++i) {
        const double x = out[2 * i];
        const double y = out[2 * (i + lag)];
        xy += x * y;
        xx += x * x;
        yy += y * y;
    }
    return xx > 0 && yy > 0 ? xy / std::sqrt(xx * yy) : 0.0;
}

TEST_F(OggOutput, HalfRateMonoFileLoopsAtItsTrueLength) {
    REQUIRE_MEDIA(path, "ogg_mono_22050_pause.ogg");
    const long frames = static_cast<long>(decodeOgg(path).size());  // mono: one sample per frame
    ASSERT_GT(frames, 1000);
    // Each pass after the first lasts frames - 1 samples at 22.05 kHz: twice as many
    // frames at 44.1 kHz.
    const long pass = 2 * (frames - 1);

    Capture capture;
    ASSERT_EQ(play(path, true), 0);
    ASSERT_EQ(bufferStream(0)->period(), 743);
    advanceMs(4000);
    const std::vector<int16_t> out = capture.samples();
    const long from = 2 * kStereoLatencyFrames + 2 * pass;  // well inside the looping passes
    ASSERT_GT(static_cast<long>(out.size()) / 2, from + 2 * pass);

    long bestLag = 0;
    double best = -1;
    for (long lag = pass - 64; lag <= pass + 64; ++lag) {
        const double c = selfCorrelation(out, from, pass / 2, lag);
        if (c > best) {
            best = c;
            bestLag = lag;
        }
    }
    EXPECT_NEAR(bestLag, pass, 1);
    EXPECT_GT(best, 0.99);
}

TEST_F(OggOutput, NonLoopingFileEndsAtTheTickThatMeetsTheEndAndStopsOnceItIsHeard) {
    REQUIRE_MEDIA(path, "ogg_stereo_48000_phone-ring.ogg");
    const double durationMs = decodeOgg(path).size() / 2 / 48.0;
    ASSERT_EQ(play(path, false), 0);
    ASSERT_EQ(bufferStream(0)->period(), 170);
    expectEndAtTheTickThatMeetsIt(durationMs);
}

// 22.05 kHz mono: two refill periods (743 ms) come to one ring of 65536 bytes, so the tick
// after a refused Lock finds the play cursor where the refused one left it. The bytes owed
// since the last fill are written all the same: the refused tick costs at most the mixer's
// reach of stale sound, and no decoded audio.
TEST_F(OggOutput, RefusedLockIsMadeUpByTheNextTickEvenWhenTwoPeriodsMakeARing) {
    const std::string path = (workDir_ / "sweep_22050_mono.ogg").string();
    ASSERT_TRUE(writeOggVorbis(path, {{22050, 1, sweep(22050, 1, 200, 3000, 22050 * 6)}}));
    const std::vector<int16_t> reference = renderOnce(path, 0, 9000);
    const std::vector<int16_t> refused = renderOnce(path, 4, 9000);

    const long start = firstNonZeroFrame(reference, 2);
    ASSERT_GE(start, 0);
    ASSERT_EQ(firstNonZeroFrame(refused, 2), start);
    long lastHeard = static_cast<long>(reference.size() / 2) - 1;
    while (lastHeard > start && reference[2 * lastHeard] == 0) --lastHeard;
    // Reference frame f heard as frame f + shift of the refused run.
    auto same = [&](long f, long shift) {
        const long g = f + shift;
        return 2 * g + 1 < static_cast<long>(refused.size()) && refused[2 * g] == reference[2 * f] &&
               refused[2 * g + 1] == reference[2 * f + 1];
    };
    auto sameFrom = [&](long from, long to, long shift) {
        for (long f = from; f < to; ++f)
            if (!same(f, shift)) return false;
        return true;
    };
    long glitch = start;
    while (glitch <= lastHeard && same(glitch, 0)) ++glitch;
    ASSERT_LE(glitch, lastHeard) << "the refused tick left a mark";
    // Past the glitch and the resampler's settling, the reference goes on later by no more
    // than the mixer's reach: nothing decoded was lost and nothing old was heard at length.
    const long from = glitch + 4 * kMixBlockFrames;
    const long maxShift = 8 * kMixBlockFrames;
    long shift = 0;
    while (shift <= maxShift && !sameFrom(from, from + 2048, shift)) ++shift;
    ASSERT_LE(shift, maxShift) << "decoded audio lost or old audio replayed";
    EXPECT_TRUE(sameFrom(from, lastHeard + 1, shift));
}

TEST_F(OggOutput, BufferTakesTheFileFormatAndHalfItsDurationAsPeriod) {
    const FormatCase cases[] = {
        {"ogg_stereo_48000_phone-ring.ogg", 2, 48000, 170},
        {"ogg_stereo_44100_music_skull_stones.ogg", 2, 44100, 185},
        {"ogg_stereo_22050_game_engine.ogg", 2, 22050, 371},
        {"ogg_mono_44100_music_amidst_the_raindrops.ogg", 1, 44100, 371},
        {"ogg_mono_22050_pause.ogg", 1, 22050, 743},
        {"ogg_mono_8000_phone-outgoing-busy.oga", 1, 8000, 2048},
    };
    int index = 0;
    for (const FormatCase& c : cases) {
        REQUIRE_MEDIA(path, c.file);
        expectBufferFor(path, index++, c);
    }
}

// Root mean square of the left channel over `frames` frames from `from`.
double leftRms(const std::vector<int16_t>& out, long from, long frames) {
    double sum = 0;
    for (long f = from; f < from + frames; ++f) sum += double(out[2 * f]) * out[2 * f];
    return std::sqrt(sum / static_cast<double>(frames));
}

// Frames from the first to the last sound of the output.
long heardFrames(const std::vector<int16_t>& out) {
    long last = static_cast<long>(out.size() / 2) - 1;
    while (last >= 0 && out[2 * last] == 0 && out[2 * last + 1] == 0) --last;
    return last + 1 - firstNonZeroFrame(out, 2);
}

// Over `frames` frames from `from`: both sides alike, a tone of `hz` at half of full scale.
void expectTone(const std::vector<int16_t>& out, long from, long frames, double hz) {
    ASSERT_LE(2 * (from + frames + 1), static_cast<long>(out.size()));
    long crossings = 0;
    long unequal = 0;
    for (long f = from; f < from + frames; ++f) {
        crossings += (out[2 * f] < 0) != (out[2 * f + 2] < 0);
        unequal += out[2 * f] != out[2 * f + 1];
    }
    EXPECT_NEAR(crossings / 2.0 * kOutputRate / static_cast<double>(frames), hz, 3) << "Hz";
    EXPECT_EQ(unequal, 0);
    EXPECT_NEAR(leftRms(out, from, frames), 32768 * 0.5 / std::sqrt(2.0), 1500);
}

TEST_F(OggOutput, EveryLinkOfAChainedFileIsHeardInTheFormatOfTheFirst) {
    // Links: 22.05 kHz stereo (69482 frames), 48 kHz stereo (61312), 44.1 kHz mono (16700).
    // The buffer is made for the first; the others are converted to it.
    REQUIRE_MEDIA(path, "ogg_chained_22050s_48000s_44100m.ogg");
    Capture capture;
    ASSERT_EQ(play(path, false), 0);
    const stream::BufferStream* s = bufferStream(0);
    EXPECT_EQ(s->format().nSamplesPerSec, 22050u);
    EXPECT_EQ(s->format().nChannels, 2);
    // 4.807 s of sound at 371 ms per tick: the end is met at tick 13.
    advanceMs(371 * 12 + 1);
    EXPECT_EQ(player_->isPlaying(0), 1);
    advanceMs(371);
    EXPECT_EQ(player_->isPlaying(0), 0);
    advanceMs(2000);

    const std::vector<int16_t> out = capture.samples();
    const double link0 = 69482.0 / 22050, link1 = 61312.0 / 48000, link2 = 16700.0 / 44100;
    EXPECT_NEAR(heardFrames(out), (link0 + link1 + link2) * kOutputRate, 0.03 * kOutputRate);
    const long start = firstNonZeroFrame(out, 2);
    const long tenth = kOutputRate / 10;
    EXPECT_GT(leftRms(out, start + static_cast<long>(link0 * kOutputRate) + tenth, 2 * tenth), 500) << "link 1";
    EXPECT_GT(leftRms(out, start + static_cast<long>((link0 + link1) * kOutputRate), tenth), 500) << "link 2";
}

// libvorbisfile opens a chained file whose first link is short in its second link. The
// first link must be heard all the same, sample for sample, and the second after it at
// its own speed: a 0.53 s 44.1 kHz stereo sweep, then 1.5 s of a 660 Hz tone at 48 kHz mono.
TEST_F(OggOutput, ShortFirstLinkIsHeardAndTheNextAtItsOwnSpeed) {
    const long firstFrames = 23373;  // 0.53 s
    const OggLink firstLink{44100, 2, sweep(44100, 2, 300, 900, firstFrames)};
    const std::string path = (workDir_ / "short_first_link.ogg").string();
    ASSERT_TRUE(writeOggVorbis(path, {firstLink, {48000, 1, sweep(48000, 1, 660, 660, 72000)}}));
    // The first link decoded from a file of its own: the same packets, without the chain.
    const std::string alone = (workDir_ / "first_link_alone.ogg").string();
    ASSERT_TRUE(writeOggVorbis(alone, {firstLink}));
    const std::vector<int16_t> first = decodeOgg(alone);
    ASSERT_EQ(first.size(), 2u * firstFrames);

    Capture capture;
    ASSERT_EQ(play(path, false), 0);
    ASSERT_EQ(bufferStream(0)->format().nSamplesPerSec, 44100u);
    ASSERT_EQ(bufferStream(0)->format().nChannels, 2);
    advanceMs(4500);
    EXPECT_EQ(player_->isPlaying(0), 0);

    const std::vector<int16_t> out = capture.samples();
    const long offset = firstNonZeroFrame(out, 2) - firstNonZeroFrame(first, 2);
    EXPECT_NEAR(offset, kStereoLatencyFrames, kMixBlockFrames);
    long compared = 0;
    EXPECT_EQ(mismatchedFrames(out, offset, first, &compared), 0);
    EXPECT_EQ(compared, firstFrames);

    // The second link: both sides alike, at its level and its pitch, for its length.
    expectTone(out, offset + firstFrames + kOutputRate / 10, kOutputRate, 660);
    EXPECT_NEAR(heardFrames(out), firstFrames + 1.5 * kOutputRate, 0.02 * kOutputRate);
}

// A mono buffer: a stereo link at another rate folds to the mean of its sides, a 5.1 link
// at a third rate to the mean of its folded sides; each keeps its level and pitch.
TEST_F(OggOutput, WiderLinksFoldToAMonoBuffer) {
    const std::string path = (workDir_ / "mono_then_wider.ogg").string();
    ASSERT_TRUE(writeOggVorbis(path, {{44100, 1, sweep(44100, 1, 440, 440, 44100)},
                                      {48000, 2, sweep(48000, 2, 660, 660, 48000)},
                                      {32000, 6, sweep(32000, 6, 880, 880, 32000)}}));
    Capture capture;
    ASSERT_EQ(play(path, false), 0);
    ASSERT_EQ(bufferStream(0)->format().nChannels, 1);
    advanceMs(6000);
    EXPECT_EQ(player_->isPlaying(0), 0);

    const std::vector<int16_t> out = capture.samples();
    const long start = firstNonZeroFrame(out, 2);
    ASSERT_GE(start, 0);
    const long margin = kOutputRate / 10;
    expectTone(out, start + margin, kOutputRate - 2 * margin, 440);
    expectTone(out, start + kOutputRate + margin, kOutputRate - 2 * margin, 660);
    expectTone(out, start + 2 * kOutputRate + margin, kOutputRate - 2 * margin, 880);
    EXPECT_NEAR(heardFrames(out), 3 * kOutputRate, 0.02 * kOutputRate);
}

TEST_F(OggOutput, ChainedFileLoops) {
    REQUIRE_MEDIA(path, "ogg_chained_22050s_48000s_44100m.ogg");
    ASSERT_EQ(play(path, true), 0);
    advanceMs(12000);
    EXPECT_EQ(player_->isPlaying(0), 1);
}

}  // namespace
}  // namespace orvox::test
