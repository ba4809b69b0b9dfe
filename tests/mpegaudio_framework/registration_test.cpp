// Registering modules: version words, mandatory slots and their messages, ids, queries.
#include <gtest/gtest.h>

#include "test_modules.h"

using namespace mpa_test;

namespace {

int32_t no_match(const char*) {
    return 1;
}

TEST(Registration, ComparesOnlyTheMiddleBytesOfTheVersionWord) {
    World w;
    ModuleDescriptor m = *memory_input();
    m.version = 0x040301;
    EXPECT_EQ(decoder_register_input(w.d, &m), 0);
    m.version = 0x050300;
    EXPECT_EQ(decoder_register_input(w.d, &m), MPA_E_VERSION);
    m.version = 0x040200;
    EXPECT_EQ(decoder_register_codec(w.d, &m), MPA_E_VERSION);
    EXPECT_EQ(w.d->counts.inputs, 1);
    EXPECT_TRUE(w.errors.empty()) << "version mismatches carry no message";
}

TEST(Registration, MissingInputAndOutputSlotsAreReportedInOrder) {
    struct Case {
        void (*strip)(ModuleDescriptor&);
        bool output;
        const char* message;
    };
    const Case cases[] = {
        {[](ModuleDescriptor& m) {
             m.input.create = nullptr;
             m.input.open = nullptr;
         },
         false, "null 'new' method in module"},
        {[](ModuleDescriptor& m) { m.input.destroy = nullptr; }, false, "null 'new' method in module"},
        {[](ModuleDescriptor& m) {
             m.input.open = nullptr;
             m.input.read = nullptr;
         },
         false, "null 'open' method in module"},
        {[](ModuleDescriptor& m) { m.input.close = nullptr; }, false, "null 'close' method in module"},
        {[](ModuleDescriptor& m) { m.input.read = nullptr; }, false, "null 'read' method in module"},
        {[](ModuleDescriptor& m) { m.output.write = nullptr; }, true, "null 'write' method in module"},
        {[](ModuleDescriptor& m) { m.output.close = nullptr; }, true, "null 'close' method in module"},
    };
    for (const Case& c : cases) {
        World w;
        ModuleDescriptor m = c.output ? *capture_output() : *memory_input();
        c.strip(m);
        const int32_t rc = c.output ? decoder_register_output(w.d, &m) : decoder_register_input(w.d, &m);
        EXPECT_EQ(rc, MPA_E_INTERNAL) << c.message;
        ASSERT_EQ(w.errors.size(), 1u) << c.message;
        EXPECT_EQ(w.errors[0].first, 0);
        EXPECT_EQ(w.errors[0].second, c.message);
        EXPECT_EQ(w.d->counts.inputs + w.d->counts.outputs, 0);
    }
}

TEST(Registration, MissingCodecSlotsAreReportedInOrder) {
    struct Case {
        void (*strip)(ModuleDescriptor&);
        const char* message;
    };
    const Case cases[] = {
        {[](ModuleDescriptor& m) {
             m.codec.query = nullptr;
             m.codec.probe = nullptr;
         },
         "null 'query' method"},
        {[](ModuleDescriptor& m) {
             m.codec.probe = nullptr;
             m.codec.decode = nullptr;
         },
         "null 'probe' method in module"},
        {[](ModuleDescriptor& m) { m.codec.create = nullptr; }, "null 'new' method in module"},
        {[](ModuleDescriptor& m) { m.codec.destroy = nullptr; }, "null 'new' method in module"},
        {[](ModuleDescriptor& m) { m.codec.decode = nullptr; }, "null 'decode' method in module"},
    };
    for (const Case& c : cases) {
        World w;
        ModuleDescriptor m = *ramp_codec();
        c.strip(m);
        EXPECT_EQ(decoder_register_codec(w.d, &m), MPA_E_INTERNAL) << c.message;
        ASSERT_EQ(w.errors.size(), 1u);
        EXPECT_EQ(w.errors[0].second, c.message);
    }
}

TEST(Registration, IdsCountUpAndTheNewestModuleIsTriedFirst) {
    World w;
    w.inputs["song"] = ramp_input(1);
    ModuleDescriptor m = *memory_input();
    EXPECT_EQ(decoder_register_input(w.d, &m), 0);
    EXPECT_EQ(decoder_register_input(w.d, &m), 1);
    m.input.match = no_match;
    EXPECT_EQ(decoder_register_input(w.d, &m), 2);
    EXPECT_EQ(w.d->counts.inputs, 3);

    // Module 2 refuses every name, so the name goes to module 1, the newest that takes it.
    ASSERT_EQ(decoder_attach_input(w.d, "song", -1), 0);
    EXPECT_EQ(w.d->input.module->id, 1);
    EXPECT_EQ(decoder_attach_input(w.d, "song", 0), 0);
    EXPECT_EQ(w.d->input.module->id, 0);
    EXPECT_EQ(decoder_attach_input(w.d, "song", 7), MPA_E_UNKNOWN_ID);
    EXPECT_EQ(decoder_attach_input(w.d, "unknown", -1), MPA_E_NO_INPUT_MODULE);
    ASSERT_EQ(decoder_register_output(w.d, capture_output()), 0);
    EXPECT_EQ(decoder_attach_output(w.d, "nothing:", -1), MPA_E_NO_OUTPUT_MODULE);
}

TEST(Registration, TheDescriptorIsCopied) {
    World w;
    w.inputs["song"] = ramp_input(1);
    {
        ModuleDescriptor temporary = *memory_input();
        ASSERT_EQ(decoder_register_input(w.d, &temporary), 0);
        temporary = ModuleDescriptor{};
    }
    EXPECT_EQ(decoder_attach_input(w.d, "song", -1), 0);
}

TEST(Registration, ModulesWithoutQueryAreDescribedByDefaults) {
    World w;
    ASSERT_EQ(decoder_register_input(w.d, memory_input()), 0);
    ModuleInfo info{};
    ASSERT_EQ(decoder_query_input_module(w.d, 0, &info, MPA_QUERY_NAME | MPA_QUERY_DEVICE_COUNT), 0);
    EXPECT_STREQ(info.name, "unknown module name");
    EXPECT_STREQ(info.description, "");
    EXPECT_EQ(info.index, 1);

    info = ModuleInfo{};
    ASSERT_EQ(decoder_query_input_module(w.d, 0, &info, MPA_QUERY_DEVICE), 0);
    EXPECT_STREQ(info.name, "unknown device name");
    EXPECT_EQ(info.device_flag, 1);
    info.index = 1;
    EXPECT_EQ(decoder_query_input_module(w.d, 0, &info, MPA_QUERY_DEVICE), MPA_E_BAD_ARGUMENT);
    EXPECT_EQ(decoder_query_input_module(w.d, 5, &info, MPA_QUERY_NAME), MPA_E_UNKNOWN_ID);
    EXPECT_EQ(decoder_query_output_module(w.d, 0, &info, MPA_QUERY_NAME), MPA_E_UNKNOWN_ID);
    EXPECT_EQ(decoder_query_codec(w.d, 0, &info, MPA_QUERY_NAME), MPA_E_UNKNOWN_ID);
}

TEST(Registration, NullArgumentsAreRefused) {
    World w;
    EXPECT_EQ(decoder_register_input(nullptr, memory_input()), MPA_E_BAD_ARGUMENT);
    EXPECT_EQ(decoder_register_codec(w.d, nullptr), MPA_E_BAD_ARGUMENT);
    EXPECT_EQ(decoder_create(nullptr), MPA_E_BAD_ARGUMENT);
    EXPECT_EQ(decoder_destroy(nullptr), MPA_E_BAD_ARGUMENT);
    EXPECT_EQ(decoder_decode(nullptr, nullptr), MPA_E_BAD_ARGUMENT);
    EXPECT_EQ(decoder_seek_time(w.d, nullptr), MPA_E_BAD_ARGUMENT);
}

}  // namespace
