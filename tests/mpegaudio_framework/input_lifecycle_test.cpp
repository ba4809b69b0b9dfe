// Attaching, opening, closing and detaching the input, and choosing the codec.
#include <gtest/gtest.h>

#include "test_modules.h"

using namespace mpa_test;

namespace {

int32_t refuse(const char*, const char*) {
    return 1;
}

class InputLifecycle : public ::testing::Test {
  protected:
    void SetUp() override {
        w.inputs["a"] = ramp_input(4);
        w.inputs["b"] = ramp_input(4);
        ASSERT_EQ(decoder_register_input(w.d, memory_input()), 0);
        ASSERT_EQ(decoder_register_codec(w.d, ramp_codec()), 0);
    }
    World w;
};

TEST_F(InputLifecycle, AttachingTheSameNameKeepsTheInstanceAnotherNameReplacesIt) {
    ASSERT_EQ(decoder_attach_input(w.d, "a", -1), 0);
    void* first = w.d->input.instance;
    ASSERT_EQ(decoder_open_input(w.d), 0);

    EXPECT_EQ(decoder_attach_input(w.d, "a", -1), 0);
    EXPECT_EQ(w.d->input.instance, first);
    EXPECT_EQ(w.d->input.open, 1) << "re-attaching the same name leaves it open";
    EXPECT_EQ(w.input_deletes, 0);

    EXPECT_EQ(decoder_attach_input(w.d, "b", -1), 0);
    EXPECT_EQ(w.input_deletes, 1);
    EXPECT_EQ(w.d->input.open, 0);
    EXPECT_STREQ(w.d->input.name, "b");
}

TEST_F(InputLifecycle, OpeningTwiceAndDecodingBeforeOpeningAreInternalErrors) {
    ASSERT_EQ(decoder_attach_input(w.d, "a", -1), 0);
    EXPECT_EQ(decoder_decode(w.d, nullptr), MPA_E_INTERNAL);
    ASSERT_EQ(w.errors.size(), 1u);
    EXPECT_EQ(w.errors.back().second, "input not open");
    EXPECT_EQ(w.errors.back().first, 0);

    ASSERT_EQ(decoder_open_input(w.d), 0);
    EXPECT_EQ(decoder_open_input(w.d), MPA_E_INTERNAL);
    EXPECT_EQ(w.errors.back().second, "input not closed");

    EXPECT_EQ(decoder_close_input(w.d), 0);
    EXPECT_EQ(decoder_close_input(w.d), MPA_E_INTERNAL);
    EXPECT_EQ(w.errors.back().second, "input not open");
    EXPECT_EQ(decoder_open_input(w.d), 0) << "a close in between allows opening again";
}

TEST_F(InputLifecycle, OpeningWithoutModuleOrInstanceNamesWhatIsMissing) {
    EXPECT_EQ(decoder_open_input(w.d), MPA_E_INTERNAL);
    EXPECT_EQ(w.errors.back().second, "null input module");
    EXPECT_EQ(decoder_detach_input(w.d), MPA_E_INTERNAL);
    EXPECT_EQ(decoder_attach_output(w.d, "x", -1), MPA_E_NO_OUTPUT_MODULE);
    EXPECT_EQ(decoder_open_output(w.d), MPA_E_INTERNAL);
    EXPECT_EQ(w.errors.back().second, "null output module");
    EXPECT_EQ(decoder_write_output(w.d, "", 0, 2, 2, 8000), MPA_E_INTERNAL);
    EXPECT_EQ(w.errors.back().second, "output not open");
}

TEST_F(InputLifecycle, AFailedOpenLeavesTheInputClosedAndAttachable) {
    ASSERT_EQ(decoder_attach_input(w.d, "a", -1), 0);
    w.inputs.erase("a");  // the module's open now fails
    EXPECT_EQ(decoder_open_input(w.d), MPA_E_FILE_NOT_FOUND);
    EXPECT_EQ(w.d->input.open, 0);
    EXPECT_EQ(decoder_attach_input(w.d, "b", -1), 0);
    EXPECT_EQ(decoder_open_input(w.d), 0);
}

TEST_F(InputLifecycle, NoCodecTakingTheStreamClosesTheInput) {
    ModuleDescriptor picky = *ramp_codec();
    picky.codec.probe = refuse;
    World other;
    other.inputs["a"] = ramp_input(1);
    ASSERT_EQ(decoder_register_input(other.d, memory_input()), 0);
    ASSERT_EQ(decoder_register_codec(other.d, &picky), 0);
    ASSERT_EQ(decoder_attach_input(other.d, "a", -1), 0);
    EXPECT_EQ(decoder_open_input(other.d), MPA_E_NO_CODEC);
    EXPECT_EQ(other.d->input.open, 0);
    EXPECT_EQ(other.codec.created, 0);
}

TEST_F(InputLifecycle, TheCodecInstanceOutlivesCloseAndIsKeptOverReopen) {
    ASSERT_EQ(decoder_attach_input(w.d, "a", -1), 0);
    ASSERT_EQ(decoder_open_input(w.d), 0);
    EXPECT_EQ(w.d->codec.max_bytes, kRampSamples * 4);
    EXPECT_EQ(w.d->codec.capabilities, 3u);
    ASSERT_EQ(decoder_close_input(w.d), 0);
    EXPECT_NE(w.d->codec.instance, nullptr);
    ASSERT_EQ(decoder_attach_input(w.d, "b", -1), 0);
    ASSERT_EQ(decoder_open_input(w.d), 0);
    EXPECT_EQ(w.codec.created, 1);
    EXPECT_EQ(w.codec.started, 2) << "each open starts the stream again";
}

TEST_F(InputLifecycle, OpeningResetsTheStreamStateAndAnalysesSeekableInputs) {
    ASSERT_EQ(decoder_attach_input(w.d, "a", -1), 0);
    ASSERT_EQ(decoder_set_stream_string(w.d, "stale", "x"), 0);
    ASSERT_EQ(decoder_open_input(w.d), 0);
    char text[8];
    EXPECT_EQ(decoder_get_stream_string(w.d, "stale", text, sizeof text), MPA_E_NO_PROPERTY);
    EXPECT_STREQ(w.d->input.content_type, "unknown");
    EXPECT_EQ(w.d->input.size, 4u * kFrameBytes);
    EXPECT_EQ(w.d->input.flags, 1u);
    EXPECT_EQ(w.codec.analysed, 1);
    EXPECT_EQ(w.d->status.info.duration_ms, 10000u);

    w.inputs["pipe:x"] = ramp_input(2);
    ASSERT_EQ(decoder_attach_input(w.d, "pipe:x", -1), 0);
    ASSERT_EQ(decoder_open_input(w.d), 0);
    EXPECT_EQ(w.d->input.flags, 0u);
    EXPECT_EQ(w.codec.analysed, 1) << "an input that cannot seek is not analysed";
    EXPECT_EQ(w.d->status.info.duration_ms, 0u);
}

TEST_F(InputLifecycle, DestroyReleasesEverything) {
    World other;
    ASSERT_EQ(other.open_ramp("a", ramp_input(1)), 0);
    // Destroying an open decoder releases the input and the codec; the leak checker of
    // the sanitizer build tells whether anything else stayed behind.
    EXPECT_EQ(decoder_destroy(other.d), 0);
    other.d = nullptr;
    EXPECT_EQ(other.input_deletes, 1);
    EXPECT_EQ(other.codec.deleted, 1);
}

}  // namespace
