// Filters in the input and output chains: placement, ids, removal, forwarding.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_modules.h"

using namespace mpa_test;

namespace {

const char* name_a() {
    return "A";
}
const char* name_b() {
    return "B";
}

// Adds 1 to every byte read through it, so stacked filters show how often they ran.
int32_t add_one(void*, FilterLink* next, void* buffer, int32_t count) {
    const int32_t got = decoder_input_link_read(next, buffer, count);
    auto* bytes = static_cast<uint8_t*>(buffer);
    for (int32_t i = 0; i < got; ++i) ++bytes[i];
    return got;
}

// Halves every byte before it reaches the next link.
int32_t halve(void*, FilterLink* next, void* buffer, int32_t count) {
    const int32_t got = decoder_input_link_read(next, buffer, count);
    auto* bytes = static_cast<uint8_t*>(buffer);
    for (int32_t i = 0; i < got; ++i) bytes[i] = static_cast<uint8_t>(bytes[i] / 2);
    return got;
}

int g_destroyed = 0;
int32_t count_destroy(void*) {
    ++g_destroyed;
    return 0;
}
int32_t failing_init(void**, int32_t, Decoder*) {
    return -42;
}

FilterDescriptor reader(const char* (*name)(), int32_t (*read)(void*, FilterLink*, void*, int32_t)) {
    FilterDescriptor f{};
    f.version = MPA_MODULE_VERSION;
    f.name = name;
    f.destroy = count_destroy;
    f.input.read = read;
    return f;
}

std::vector<int32_t> chain_ids(Decoder* d) {
    std::vector<int32_t> ids;
    decoder_each_input_filter(d, reinterpret_cast<uintptr_t>(&ids), [](uintptr_t user, FilterLink* link) {
        reinterpret_cast<std::vector<int32_t>*>(user)->push_back(filter_link_id(link));
        return 0;
    });
    return ids;
}

TEST(Filters, PositionsPlaceFiltersAtTheHeadAboveTheBaseOrAboveAnother) {
    World w;
    const FilterDescriptor f = reader(name_a, nullptr);
    EXPECT_EQ(decoder_add_input_filter(w.d, &f, -1), 1);
    EXPECT_EQ(decoder_add_input_filter(w.d, &f, -1), 2);  // head: 2 1
    EXPECT_EQ(decoder_add_input_filter(w.d, &f, 0), 3);   // above base: 2 1 3
    EXPECT_EQ(decoder_add_input_filter(w.d, &f, 2), 4);   // above 2: 4 2 1 3
    EXPECT_EQ(decoder_add_input_filter(w.d, &f, 9), 5);   // no filter 9: above base
    EXPECT_EQ(chain_ids(w.d), (std::vector<int32_t>{4, 2, 1, 3, 5}));

    EXPECT_EQ(decoder_remove_input_filter(w.d, nullptr, 1), 4) << "the new head's id is returned";
    EXPECT_EQ(decoder_add_input_filter(w.d, &f, 1), 1) << "the lowest free id is reused";
    EXPECT_EQ(chain_ids(w.d), (std::vector<int32_t>{4, 2, 3, 5, 1}));
}

TEST(Filters, RemovalByNameHeadBottomAndIdNeverTakesTheBase) {
    World w;
    g_destroyed = 0;
    const FilterDescriptor a = reader(name_a, nullptr);
    const FilterDescriptor b = reader(name_b, nullptr);
    ASSERT_EQ(decoder_add_input_filter(w.d, &a, -1), 1);
    ASSERT_EQ(decoder_add_input_filter(w.d, &b, -1), 2);
    ASSERT_EQ(decoder_add_input_filter(w.d, &a, -1), 3);  // 3(A) 2(B) 1(A)

    EXPECT_EQ(decoder_remove_input_filter(w.d, "A", -2), 2);  // the first A from the head
    EXPECT_EQ(chain_ids(w.d), (std::vector<int32_t>{2, 1}));
    EXPECT_EQ(decoder_remove_input_filter(w.d, nullptr, 0), 2);  // directly above the base
    EXPECT_EQ(decoder_remove_input_filter(w.d, "C", -2), MPA_E_NOT_POSSIBLE);
    EXPECT_EQ(decoder_remove_input_filter(w.d, nullptr, -1), 0) << "only the base is left";
    EXPECT_EQ(decoder_remove_input_filter(w.d, nullptr, -1), MPA_E_NOT_POSSIBLE);
    EXPECT_EQ(decoder_remove_input_filter(w.d, nullptr, 0), MPA_E_NOT_POSSIBLE);
    EXPECT_EQ(g_destroyed, 3);
}

TEST(Filters, BadDescriptorsAndFailingInitAddNothing) {
    World w;
    FilterDescriptor f = reader(name_a, nullptr);
    EXPECT_EQ(decoder_add_input_filter(w.d, nullptr, -1), MPA_E_BAD_ARGUMENT);
    EXPECT_EQ(decoder_add_input_filter(w.d, &f, -2), MPA_E_BAD_ARGUMENT);
    f.version = 0x050300;
    EXPECT_EQ(decoder_add_output_filter(w.d, &f, -1), MPA_E_VERSION);
    f.version = MPA_MODULE_VERSION;
    f.name = nullptr;
    EXPECT_EQ(decoder_add_input_filter(w.d, &f, -1), MPA_E_BAD_ARGUMENT);
    f.name = name_a;
    f.init = failing_init;
    EXPECT_EQ(decoder_add_input_filter(w.d, &f, -1), -42);
    EXPECT_TRUE(chain_ids(w.d).empty());
}

TEST(Filters, ReadsPassThroughTheChainFromTheHeadDown) {
    World w;
    w.inputs["a"] = std::vector<uint8_t>(kFrameBytes, 10);
    ASSERT_EQ(decoder_register_input(w.d, memory_input()), 0);
    ASSERT_EQ(decoder_register_codec(w.d, ramp_codec()), 0);
    const FilterDescriptor plus = reader(name_a, add_one);
    const FilterDescriptor half = reader(name_b, halve);
    const FilterDescriptor silent = reader(name_b, nullptr);  // forwards everything
    ASSERT_EQ(decoder_add_input_filter(w.d, &plus, -1), 1);
    ASSERT_EQ(decoder_add_input_filter(w.d, &silent, -1), 2);
    ASSERT_EQ(decoder_add_input_filter(w.d, &half, -1), 3);  // head: half(plus(10)) = 5
    ASSERT_EQ(decoder_attach_input(w.d, "a", -1), 0);
    ASSERT_EQ(decoder_open_input(w.d), 0);
    EXPECT_EQ(w.d->input.size, uint64_t(kFrameBytes)) << "size passes through filters without the slot";

    uint8_t bytes[kFrameBytes];
    ASSERT_EQ(decoder_read_input(w.d, bytes, kFrameBytes), 0);
    EXPECT_EQ(bytes[0], 5);
    EXPECT_EQ(decoder_read_input(w.d, bytes, 1), MPA_E_END_OF_INPUT);
    EXPECT_EQ(decoder_input_control(w.d, 0, 0, 0), MPA_E_NOT_POSSIBLE) << "the module has no control slot";
}

}  // namespace
