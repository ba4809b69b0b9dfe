// Decoding frames: buffers, PcmBlock change flags, play status, the error trap and
// decoding to the output.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "decoder_private.h"
#include "test_modules.h"

using namespace mpa_test;

namespace {

class Decoding : public ::testing::Test {
  protected:
    void open(const std::string& name, std::vector<uint8_t> bytes) {
        ASSERT_EQ(w.open_ramp(name, std::move(bytes)), 0);
    }
    static int16_t sample(const PcmBlock& pcm, size_t i) {
        return static_cast<const int16_t*>(pcm.buffer)[i];
    }
    World w;
};

TEST_F(Decoding, FramesBecomeTheRampInTheCallersBufferOrTheInternalOne) {
    open("a", ramp_input(3));
    std::array<int16_t, kRampSamples * 2> mine{};
    ASSERT_EQ(decoder_decode(w.d, mine.data()), 0);
    const PcmBlock& pcm = w.d->pcm;
    EXPECT_EQ(pcm.buffer, mine.data());
    EXPECT_EQ(pcm.samples, uint32_t(kRampSamples));
    EXPECT_EQ(pcm.channels, 2u);
    EXPECT_EQ(pcm.bytes_per_sample, 2u);
    EXPECT_EQ(pcm.sample_rate, kRampRate);
    EXPECT_EQ(pcm.flags, 7u) << "width, channels and rate all changed from nothing";
    EXPECT_EQ(mine[2 * 31 + 1], 31);

    ASSERT_EQ(decoder_decode(w.d, nullptr), 0);
    EXPECT_NE(pcm.buffer, static_cast<void*>(mine.data()));
    EXPECT_EQ(sample(pcm, 0), kRampSamples) << "the ramp goes on where the last frame ended";
    EXPECT_EQ(pcm.flags, 0u);
    EXPECT_EQ(w.d->input.position, 2u * kFrameBytes);
}

TEST_F(Decoding, TheEndOfInputIsReportedAndLeavesTheDecoderUsable) {
    open("a", ramp_input(1));
    ASSERT_EQ(decoder_decode(w.d, nullptr), 0);
    EXPECT_EQ(decoder_decode(w.d, nullptr), MPA_E_END_OF_INPUT);
    EXPECT_EQ(w.d->input.open, 1);
    ASSERT_EQ(decoder_seek_fraction(w.d, 0.0f), 0);
    EXPECT_EQ(decoder_decode(w.d, nullptr), 0);
}

TEST_F(Decoding, AFatalErrorInsideTheCodecReturnsMinus700AndDecodingGoesOn) {
    open("a", ramp_input(3, 1));
    ASSERT_EQ(decoder_decode(w.d, nullptr), 0);
    EXPECT_EQ(decoder_decode(w.d, nullptr), MPA_E_FATAL);
    EXPECT_EQ(w.d->input.open, 1);
    ASSERT_EQ(decoder_decode(w.d, nullptr), 0) << "the frame after the bad one decodes";
    EXPECT_EQ(w.d->input.position, 3u * kFrameBytes);
}

TEST_F(Decoding, ChannelCountChangesRaiseTheirFlags) {
    open("a", ramp_input(3));
    ASSERT_EQ(decoder_decode(w.d, nullptr), 0);
    ASSERT_EQ(decoder_set_channel_mode(w.d, MPA_CHANNELS_LEFT), 0);
    ASSERT_EQ(decoder_decode(w.d, nullptr), 0);
    EXPECT_EQ(w.d->pcm.flags, 6u);
    ASSERT_EQ(decoder_set_downsampling(w.d, MPA_RATE_HALF), 0);
    ASSERT_EQ(decoder_decode(w.d, nullptr), 0);
    EXPECT_EQ(w.d->pcm.flags, 4u);
    EXPECT_EQ(w.d->pcm.samples, uint32_t(kRampSamples / 2));
}

TEST_F(Decoding, PlayStatusFollowsThePosition) {
    open("a", ramp_input(4));
    ASSERT_EQ(decoder_decode(w.d, nullptr), 0);
    EXPECT_FLOAT_EQ(w.d->status.fraction, 0.25f);
    // 10 s stream, a quarter played.
    EXPECT_EQ(w.d->status.elapsed.seconds, 2);
    EXPECT_EQ(w.d->status.elapsed.hundredths, 50);
}

TEST(PlayStatus, ElapsedSecondsBecomeATimeCode) {
    const TimeCode tc = mpa::time_code_from_seconds(3725.5);
    EXPECT_EQ(tc.hours, 1);
    EXPECT_EQ(tc.minutes, 2);
    EXPECT_EQ(tc.seconds, 5);
    EXPECT_EQ(tc.hundredths, 50);
    const TimeCode negative = mpa::time_code_from_seconds(-4.0);
    EXPECT_EQ(negative.seconds, 0);
    const TimeCode huge = mpa::time_code_from_seconds(1e300);
    EXPECT_GT(huge.hours, 0);
    EXPECT_LT(huge.minutes, 60);
}

TEST_F(Decoding, WithoutDurationElapsedTimeComesFromTheBitrate) {
    w.analysed_duration_ms = 0;
    open("a", ramp_input(2000));  // 16000 bytes at 64 kbit/s: 2 s
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(decoder_decode(w.d, nullptr), 0);
    EXPECT_EQ(w.d->status.elapsed.seconds, 1);
    EXPECT_EQ(w.d->status.elapsed.hundredths, 0);
}

class DecodingToOutput : public Decoding {
  protected:
    void attach_output(const ModuleDescriptor* output) {
        ASSERT_GE(decoder_register_output(w.d, output), 0);
        ASSERT_EQ(decoder_attach_output(w.d, "capture:", -1), 0);
        ASSERT_EQ(decoder_open_output(w.d), 0);
    }
};

TEST_F(DecodingToOutput, EveryFrameReachesTheOutputAndFormatChangesAreAnnounced) {
    open("a", ramp_input(3));
    attach_output(capture_output());
    EXPECT_EQ(w.d->output.capabilities, MPA_OUTPUT_DEFAULT_CAPS);
    for (int i = 0; i < 3; ++i) ASSERT_EQ(decoder_decode_to_output(w.d), 0);
    EXPECT_EQ(decoder_decode_to_output(w.d), MPA_E_END_OF_INPUT);

    const auto& bytes = w.output.bytes;
    ASSERT_EQ(bytes.size(), 3u * kRampSamples * 4);
    const auto* samples = reinterpret_cast<const int16_t*>(bytes.data());
    for (size_t i = 0; i < bytes.size() / 4; ++i) ASSERT_EQ(samples[2 * i + 1], static_cast<int16_t>(i));
    EXPECT_EQ(w.output.format_flags, std::vector<uint32_t>{7u});
    EXPECT_EQ(w.output.tag_calls, 0) << "the default capabilities do not ask for the tag";
}

TEST_F(DecodingToOutput, TheTagSlotRunsWhenTheOutputAsksForIt) {
    open("a", ramp_input(1));
    attach_output(tagging_output());
    ASSERT_EQ(decoder_decode_to_output(w.d), 0);
    EXPECT_EQ(w.output.tag_calls, 1);
    EXPECT_EQ(w.d->pcm.tag, 0x5A5Au);
}

TEST_F(DecodingToOutput, AnOutputThatStoresNothingIsAFailure) {
    open("a", ramp_input(1));
    attach_output(capture_output());
    w.output.fail_writes = true;
    EXPECT_EQ(decoder_decode_to_output(w.d), MPA_E_WRITE_FAILED);
}

TEST_F(DecodingToOutput, NeedsAnOpenOutput) {
    open("a", ramp_input(1));
    EXPECT_EQ(decoder_decode_to_output(w.d), MPA_E_INTERNAL);
    EXPECT_EQ(w.errors.back().second, "output not open");
    EXPECT_EQ(w.d->input.position, 0u) << "nothing was decoded";
}

TEST_F(DecodingToOutput, ControlBlockDefaultsApplyWhenNoLinkHandlesIt) {
    open("a", ramp_input(1));
    attach_output(capture_output());
    OutputControlBlock block{};
    EXPECT_EQ(decoder_output_control(w.d, &block, 0), 0);
    EXPECT_EQ(block.words[2], 2);
    EXPECT_EQ(block.words[3], 100);
    EXPECT_EQ(block.words[4], 100);
    EXPECT_EQ(block.words[5], 50);
    EXPECT_EQ(block.words[6], 1);
    EXPECT_EQ(block.words[0], 0);
    EXPECT_EQ(decoder_output_control(w.d, nullptr, 0), MPA_E_INTERNAL);
    EXPECT_EQ(w.errors.back().second, "null control block");
    EXPECT_EQ(decoder_output_filter_control(w.d, 1, 2, 3), MPA_E_NOT_POSSIBLE);
}

}  // namespace
