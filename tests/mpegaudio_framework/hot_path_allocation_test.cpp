// Decoding a frame allocates nothing once a stream runs: neither into the decoder's own
// buffer, nor through the file output in any of its formats.
#include <gtest/gtest.h>
#include <mpegaudio/file_modules.h>

#include <cstdlib>
#include <new>

#include "temp_dir.h"
#include "test_modules.h"

namespace {

thread_local bool g_counting = false;
thread_local long g_allocations = 0;

}  // namespace

void* operator new(std::size_t size) {
    if (g_counting) ++g_allocations;
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

using namespace mpa_test;

namespace {

// Allocations made by `frames` calls of `step` after a few warm-up calls.
template <class Step>
long allocations_over(int frames, Step step) {
    for (int i = 0; i < 4; ++i) EXPECT_EQ(step(), 0);
    g_allocations = 0;
    g_counting = true;
    for (int i = 0; i < frames; ++i) {
        if (step() != 0) break;
    }
    g_counting = false;
    return g_allocations;
}

TEST(HotPath, DecodingIntoTheDecodersBufferAllocatesNothing) {
    World w;
    ASSERT_EQ(w.open_ramp("a", ramp_input(200)), 0);
    EXPECT_EQ(allocations_over(150, [&] { return decoder_decode(w.d, nullptr); }), 0);
}

TEST(HotPath, DecodingToEveryFileFormatAllocatesNothing) {
    TempDir dir;
    for (const char* prefix : {"raw:", "wav:", "aiff:", "sun:"}) {
        World w;
        ASSERT_EQ(w.open_ramp("a", ramp_input(200)), 0);
        ASSERT_GE(decoder_register_output(w.d, file_output_module()), 0);
        const std::string name = prefix + dir.file("out");
        ASSERT_EQ(decoder_attach_output(w.d, name.c_str(), -1), 0);
        ASSERT_EQ(decoder_open_output(w.d), 0);
        EXPECT_EQ(allocations_over(150, [&] { return decoder_decode_to_output(w.d); }), 0) << prefix;
        EXPECT_EQ(decoder_close_output(w.d), 0);
    }
}

}  // namespace
