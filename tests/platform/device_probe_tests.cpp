// Looking for the audio device leaves the process as it was: the sound libraries' error
// handler and standard error are the caller's again once the probe is over, whether a
// device was found or not. A binary of its own, since the runtime starts once per process.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <plat/a5platform.h>
#include <sys/stat.h>

#include "openal_pinned.h"

namespace {

using AlsaHandler = void (*)(const char*, int, const char*, int, const char*, ...);

void hostHandler(const char*, int, const char*, int, const char*, ...) {}

TEST(DeviceProbe, LeavesTheAlsaErrorHandlerAndStandardErrorAsTheyWere) {
    pinOpenAl();
    void* alsa = dlopen("libasound.so.2", RTLD_NOW | RTLD_GLOBAL);
    if (alsa == nullptr) GTEST_SKIP() << "no ALSA library on this machine";
    auto setHandler = reinterpret_cast<int (*)(AlsaHandler)>(dlsym(alsa, "snd_lib_error_set_handler"));
    auto* handler = static_cast<AlsaHandler*>(dlsym(alsa, "snd_lib_error"));
    ASSERT_NE(setHandler, nullptr);
    ASSERT_NE(handler, nullptr);
    setHandler(&hostHandler);
    struct stat before {};
    ASSERT_EQ(fstat(2, &before), 0);

    A5PlatformConfig config{A5_OUTPUT_DEVICE, nullptr, 44100, 2, 0, 1};  // no EAX: the probe alone
    ASSERT_EQ(a5p_configure(&config), 0);
    EXPECT_NE(a5p_output_kind(), A5_OUTPUT_WAV);  // the device, or the null output after it

    EXPECT_EQ(*handler, &hostHandler);
    struct stat after {};
    ASSERT_EQ(fstat(2, &after), 0);
    EXPECT_EQ(after.st_dev, before.st_dev);
    EXPECT_EQ(after.st_ino, before.st_ino);
    a5p_shutdown();
    setHandler(nullptr);
    dlclose(alsa);
}

}  // namespace
