// Named properties: types, the stream and global lists, watchers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_modules.h"

using namespace mpa_test;

namespace {

struct Seen {
    std::string name;
    bool had_value;
    std::string text;
};

void remember_text(uintptr_t user, const char* name, const void* value) {
    auto* seen = reinterpret_cast<std::vector<Seen>*>(user);
    seen->push_back({name, value != nullptr, value != nullptr ? static_cast<const char*>(value) : ""});
}

void remember_int(uintptr_t user, const char* name, const void* value) {
    auto* seen = reinterpret_cast<std::vector<Seen>*>(user);
    seen->push_back({name, value != nullptr,
                     value != nullptr ? std::to_string(*static_cast<const int32_t*>(value)) : ""});
}

TEST(Properties, ASecondSetReplacesTheTextAndTheOtherTypeIsRefused) {
    World w;
    ASSERT_EQ(decoder_set_global_string(w.d, "x/name", "first"), 0);
    ASSERT_EQ(decoder_set_global_string(w.d, "x/name", "second"), 0);
    char text[16];
    ASSERT_EQ(decoder_get_global_string(w.d, "x/name", text, sizeof text), 0);
    EXPECT_STREQ(text, "second");
    int32_t number = 0;
    EXPECT_EQ(decoder_get_global_int(w.d, "x/name", &number), MPA_E_PROPERTY_TYPE);
    EXPECT_EQ(decoder_set_global_int(w.d, "x/name", 3), MPA_E_PROPERTY_TYPE);
    ASSERT_EQ(decoder_delete_global(w.d, "x/name"), 0);
    EXPECT_EQ(decoder_get_global_string(w.d, "x/name", text, sizeof text), MPA_E_NO_PROPERTY)
        << "a single delete removes it: there was only one";

    ASSERT_EQ(decoder_set_global_int(w.d, "x/n", 4), 0);
    ASSERT_EQ(decoder_set_global_int(w.d, "x/n", -5), 0);
    ASSERT_EQ(decoder_get_global_int(w.d, "x/n", &number), 0);
    EXPECT_EQ(number, -5);
    EXPECT_EQ(decoder_set_global_string(w.d, "x/n", "t"), MPA_E_PROPERTY_TYPE);
    EXPECT_EQ(decoder_get_global_string(w.d, "x/n", text, sizeof text), MPA_E_PROPERTY_TYPE);
}

TEST(Properties, NamesAreCaseSensitiveAndMissingOnesAreReported) {
    World w;
    ASSERT_EQ(decoder_set_stream_int(w.d, "mpeg/layer", 3), 0);
    int32_t v = 0;
    EXPECT_EQ(decoder_get_stream_int(w.d, "MPEG/layer", &v), MPA_E_NO_PROPERTY);
    EXPECT_EQ(decoder_get_global_int(w.d, "mpeg/layer", &v), MPA_E_NO_PROPERTY) << "the lists are separate";
    EXPECT_EQ(decoder_delete_stream(w.d, "none"), MPA_E_NO_PROPERTY);
    EXPECT_EQ(decoder_get_stream_int(w.d, nullptr, &v), MPA_E_BAD_ARGUMENT);
    EXPECT_EQ(decoder_get_stream_int(w.d, "mpeg/layer", nullptr), MPA_E_BAD_ARGUMENT);
}

TEST(Properties, AStringIsCopiedOnlyIntoABufferThatHoldsItAndItsTerminator) {
    World w;
    ASSERT_EQ(decoder_set_stream_string(w.d, "id3/title", "Title"), 0);
    char exact[6];
    ASSERT_EQ(decoder_get_stream_string(w.d, "id3/title", exact, sizeof exact), 0);
    EXPECT_STREQ(exact, "Title");
    char small[5] = {'x', 'x', 'x', 'x', 'x'};
    EXPECT_EQ(decoder_get_stream_string(w.d, "id3/title", small, sizeof small), MPA_E_BAD_ARGUMENT);
    EXPECT_EQ(small[4], 'x');
}

TEST(Properties, StreamChangesRaiseTheStreamInfoFlag) {
    World w;
    ASSERT_EQ(decoder_set_stream_int(w.d, "a", 1), 0);
    EXPECT_EQ(w.d->status.info.flags & MPA_INFO_PROPERTIES, 1u);
    w.d->status.info.flags = 0;
    ASSERT_EQ(decoder_delete_stream(w.d, "a"), 0);
    EXPECT_EQ(w.d->status.info.flags & MPA_INFO_PROPERTIES, 1u);
    w.d->status.info.flags = 0;
    ASSERT_EQ(decoder_set_global_int(w.d, "g", 1), 0);
    EXPECT_EQ(w.d->status.info.flags, 0u);
}

TEST(Properties, WatchersHearEverySetAndOnceANullValueBeforeTheDelete) {
    World w;
    std::vector<Seen> seen;
    PropertyWatcher* watcher = nullptr;
    ASSERT_EQ(decoder_add_watcher(w.d, "vol", reinterpret_cast<uintptr_t>(&seen), remember_int, &watcher), 0);
    ASSERT_EQ(decoder_set_global_int(w.d, "vol", 7), 0);
    ASSERT_EQ(decoder_set_global_int(w.d, "other", 8), 0);
    ASSERT_EQ(decoder_delete_global(w.d, "vol"), 0);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_TRUE(seen[0].had_value);
    EXPECT_EQ(seen[0].text, "7");
    EXPECT_FALSE(seen[1].had_value);
    EXPECT_EQ(seen[1].name, "vol");

    ASSERT_EQ(decoder_remove_watcher(w.d, watcher), 0);
    ASSERT_EQ(decoder_set_global_int(w.d, "vol", 9), 0);
    EXPECT_EQ(seen.size(), 2u);
    EXPECT_EQ(decoder_remove_watcher(w.d, watcher), MPA_E_BAD_ARGUMENT);
}

TEST(Properties, WatchersSeeTheNewTextAndStreamPropertiesHaveNone) {
    World w;
    std::vector<Seen> seen;
    PropertyWatcher* watcher = nullptr;
    ASSERT_EQ(decoder_add_watcher(w.d, "t", reinterpret_cast<uintptr_t>(&seen), remember_text, &watcher), 0);
    ASSERT_EQ(decoder_set_stream_string(w.d, "t", "stream"), 0);
    ASSERT_EQ(decoder_set_global_string(w.d, "t", "global"), 0);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text, "global");
    EXPECT_EQ(decoder_add_watcher(w.d, "t", 0, nullptr, &watcher), MPA_E_BAD_ARGUMENT) << "callback required";
}

// A watcher that deletes the property it is told about must not pull the list from under
// the decoder.
void delete_on_set(uintptr_t user, const char* name, const void* value) {
    if (value != nullptr) decoder_delete_global(reinterpret_cast<Decoder*>(user), name);
}

TEST(Properties, AWatcherMayChangeTheListItWatches) {
    World w;
    PropertyWatcher* watcher = nullptr;
    ASSERT_EQ(decoder_add_watcher(w.d, "p", reinterpret_cast<uintptr_t>(w.d), delete_on_set, &watcher), 0);
    ASSERT_EQ(decoder_set_global_string(w.d, "p", "gone at once"), 0);
    char text[32];
    EXPECT_EQ(decoder_get_global_string(w.d, "p", text, sizeof text), MPA_E_NO_PROPERTY);
}

}  // namespace
