// Decoder options: stored, pushed to the codec, read back from it.
#include <gtest/gtest.h>

#include <array>

#include "test_modules.h"

using namespace mpa_test;

namespace {

TEST(Options, AreStoredBeforeACodecExistsAndPushedWhenItIsCreated) {
    World w;
    EXPECT_EQ(decoder_set_channel_mode(w.d, MPA_CHANNELS_MIX), 0) << "no codec yet: 0";
    EXPECT_EQ(decoder_set_downsampling(w.d, MPA_RATE_QUARTER), 0);
    EXPECT_EQ(decoder_get_channel_mode(w.d), MPA_CHANNELS_MIX);

    ASSERT_EQ(w.open_ramp("a", ramp_input(1)), 0);
    EXPECT_EQ(w.codec.option_masks, std::vector<uint32_t>{7u});
    EXPECT_EQ(w.codec.last_options.channel_mode, MPA_CHANNELS_MIX);
    EXPECT_EQ(w.codec.last_options.downsampling, MPA_RATE_QUARTER);

    ASSERT_EQ(decoder_set_channel_mode(w.d, MPA_CHANNELS_RIGHT), 0);
    ASSERT_EQ(decoder_set_downsampling(w.d, MPA_RATE_FULL), 0);
    EXPECT_EQ(w.codec.option_masks, (std::vector<uint32_t>{7u, 1u, 2u}));
    EXPECT_EQ(decoder_get_channel_mode(w.d), MPA_CHANNELS_RIGHT);
    EXPECT_EQ(decoder_get_downsampling(w.d), MPA_RATE_FULL);
}

TEST(Options, OutOfRangeValuesAreRefused) {
    World w;
    EXPECT_EQ(decoder_set_channel_mode(w.d, 4), MPA_E_BAD_ARGUMENT);
    EXPECT_EQ(decoder_set_channel_mode(w.d, -1), MPA_E_BAD_ARGUMENT);
    EXPECT_EQ(decoder_set_downsampling(w.d, 3), MPA_E_BAD_ARGUMENT);
    EXPECT_EQ(decoder_get_channel_mode(w.d), 0);
    EXPECT_EQ(decoder_set_channel_mode(nullptr, 0), MPA_E_BAD_ARGUMENT);
}

TEST(Options, TheEqualizerIsCopiedAndNullClearsIt) {
    World w;
    ASSERT_EQ(w.open_ramp("a", ramp_input(1)), 0);

    std::array<int8_t, MPA_EQUALIZER_STEPS> steps{};
    for (int i = 0; i < MPA_EQUALIZER_STEPS; ++i) steps[size_t(i)] = static_cast<int8_t>(i - 32);
    ASSERT_EQ(decoder_set_equalizer(w.d, steps.data()), 0);
    EXPECT_EQ(w.codec.option_masks.back(), 4u);
    EXPECT_EQ(w.codec.first_eq_step, -32);
    steps.fill(99);  // the decoder holds its own copy

    std::array<int8_t, MPA_EQUALIZER_STEPS> back{};
    ASSERT_EQ(decoder_get_equalizer(w.d, back.data()), 0);
    EXPECT_EQ(back[0], -32);
    EXPECT_EQ(back[63], 31);

    ASSERT_EQ(decoder_set_equalizer(w.d, nullptr), 0);
    EXPECT_EQ(w.codec.last_options.equalizer, nullptr);
    back.fill(5);
    ASSERT_EQ(decoder_get_equalizer(w.d, back.data()), 0);
    EXPECT_EQ(back, (std::array<int8_t, MPA_EQUALIZER_STEPS>{}));
}

}  // namespace
