// liborvox.so loaded afresh for each test as the engine loads it: dlopen, A5_DLLAPI with
// the engine's records, script functions looked up by name, a working folder of the
// test's own for "MediaLog.txt"; Orvox_Shutdown and dlclose at the end.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <plat/a5platform.h>
#include <plat/dsound.h>

#include "engine_records.h"

namespace orvox::test {

using Entry = int32_t (*)(void*);
using Call0 = int32_t (*)();
using Call1 = int32_t (*)(int32_t);
using Call2 = int32_t (*)(int32_t, int32_t);
using PlayCall = int32_t (*)(const void*, int32_t);

inline std::string readFile(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class Plugin : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = std::filesystem::current_path();
        dir_ = std::filesystem::temp_directory_path() /
               ("orvox_exports_" + std::to_string(getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
        std::filesystem::current_path(dir_);
        handle_ = dlopen(ORVOX_PLUGIN, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle_, nullptr) << dlerror();
        ASSERT_EQ(DirectSoundCreate(nullptr, &device_, nullptr), DS_OK);
        records_.setSound(device_, nullptr);
        ASSERT_EQ(fn<Entry>("A5_DLLAPI")(records_.interfaceRecord()), 511);
    }
    void TearDown() override {
        if (handle_ != nullptr) {
            fn<Call0>("Orvox_Shutdown")();
            fn<Call1>("Orvox_Log")(1024);  // leave logging on for the next test in this process
            dlclose(handle_);
        }
        if (device_ != nullptr) device_->Release();
        std::filesystem::current_path(previous_);
        std::filesystem::remove_all(dir_);
    }
    template <class F>
    F fn(const char* name) {
        void* symbol = dlsym(handle_, name);
        EXPECT_NE(symbol, nullptr) << name;
        return reinterpret_cast<F>(symbol);
    }

    void* handle_ = nullptr;
    IDirectSound* device_ = nullptr;
    host::EngineRecords records_;
    std::filesystem::path dir_, previous_;
};

}  // namespace orvox::test
