// Seeking by bytes, fraction, seconds and time code.
#include <gtest/gtest.h>

#include "test_modules.h"

using namespace mpa_test;

namespace {

class Seeking : public ::testing::Test {
  protected:
    void open(const std::string& name, int frames) { ASSERT_EQ(w.open_ramp(name, ramp_input(frames)), 0); }
    World w;
};

TEST_F(Seeking, FractionsOutsideZeroToOneAreClamped) {
    open("a", 10);
    ASSERT_EQ(decoder_seek_fraction(w.d, 1.5f), 0);
    EXPECT_EQ(w.d->input.position, 80u);
    EXPECT_FLOAT_EQ(w.d->status.fraction, 1.0f);
    EXPECT_EQ(decoder_decode(w.d, nullptr), MPA_E_END_OF_INPUT);

    ASSERT_EQ(decoder_seek_fraction(w.d, -0.2f), 0);
    EXPECT_EQ(w.d->input.position, 0u);
    ASSERT_EQ(decoder_decode(w.d, nullptr), 0);
    EXPECT_EQ(static_cast<const int16_t*>(w.d->pcm.buffer)[0], 0);
}

TEST_F(Seeking, ByteSeeksStopAtTheSizeAndTellTheCodec) {
    open("a", 10);
    ASSERT_EQ(decoder_seek_bytes(w.d, 16), 0);
    ASSERT_EQ(decoder_seek_bytes(w.d, 1000), 0);
    EXPECT_EQ(w.d->input.position, 80u);
    EXPECT_EQ(w.codec.seek_notices, (std::vector<uint64_t>{16, 80}));
    ASSERT_EQ(decoder_seek_bytes(w.d, 40), 0);
    EXPECT_FLOAT_EQ(w.d->status.fraction, 0.5f);
    EXPECT_EQ(w.d->status.elapsed.seconds, 5);
    ASSERT_EQ(decoder_decode(w.d, nullptr), 0);
    EXPECT_EQ(static_cast<const int16_t*>(w.d->pcm.buffer)[0], 5 * kRampSamples);
}

TEST_F(Seeking, AnInputThatCannotSeekRefusesAndStaysWhereItIs) {
    open("pipe:a", 10);
    ASSERT_EQ(decoder_decode(w.d, nullptr), 0);
    EXPECT_EQ(decoder_seek_bytes(w.d, 0), MPA_E_NOT_POSSIBLE);
    EXPECT_EQ(decoder_seek_fraction(w.d, 0.0f), MPA_E_NOT_POSSIBLE);
    EXPECT_EQ(w.d->input.position, 8u);
    EXPECT_TRUE(w.codec.seek_notices.empty());
    ASSERT_EQ(decoder_decode(w.d, nullptr), 0);
    EXPECT_EQ(static_cast<const int16_t*>(w.d->pcm.buffer)[0], kRampSamples);
}

TEST_F(Seeking, SecondsAndTimeCodesUseTheDuration) {
    open("a", 100);  // 800 bytes over the analysed 10 s
    ASSERT_EQ(decoder_seek_seconds(w.d, 2.5f), 0);
    EXPECT_EQ(w.d->input.position, 200u);
    const TimeCode tc{0, 0, 7, 50};
    ASSERT_EQ(decoder_seek_time(w.d, &tc), 0);
    EXPECT_EQ(w.d->input.position, 600u);
    ASSERT_EQ(decoder_seek_seconds(w.d, -3.0f), 0);
    EXPECT_EQ(w.d->input.position, 0u);
}

TEST_F(Seeking, WithUnknownDurationSecondsSeekToTheStart) {
    w.analysed_duration_ms = 0;
    open("a", 100);
    ASSERT_EQ(decoder_seek_bytes(w.d, 400), 0);
    ASSERT_EQ(decoder_seek_seconds(w.d, 5.0f), 0);
    EXPECT_EQ(w.d->input.position, 0u);
}

TEST_F(Seeking, NeedsAnOpenInput) {
    open("a", 1);
    ASSERT_EQ(decoder_close_input(w.d), 0);
    EXPECT_EQ(decoder_seek_bytes(w.d, 0), MPA_E_INTERNAL);
    EXPECT_EQ(decoder_seek_fraction(w.d, 0.5f), MPA_E_INTERNAL);
    EXPECT_EQ(w.errors.back().second, "input not open");
}

}  // namespace
