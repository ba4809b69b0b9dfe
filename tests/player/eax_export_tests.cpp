// Orvox_EAX through the loaded plug-in: the argument mapping, the setup chain's lines
// (written with logging off too), what a failed setup leaves behind, and the engine's
// primary buffer and dry output after teardown. The NoEaxExport suite runs in a process
// started with A5_NO_EAX=1 (see CMakeLists.txt).
#include <plat/eax.h>
#include <plat/objbase.h>
#include <plat/owned.h>

#include <algorithm>
#include <functional>
#include <vector>

#include "dry_output.h"
#include "plugin_fixture.h"

namespace orvox::test {
namespace {

constexpr int32_t kOne = 1 << 10;
constexpr uint64_t kMs = 1'000'000;
const std::string kInitialized = "Success: Successfully initialized Direct Sound for EAX\n";

using a5test::LeftCapture;
using a5test::NoiseLoop;

// The engine with a primary buffer in its sound record, as a real engine has.
class EaxExport : public Plugin {
public:
    void noPrimaryBuffer() { records_.setSound(device_, nullptr); }

protected:
    void SetUp() override {
        Plugin::SetUp();
        DSBUFFERDESC desc{sizeof(DSBUFFERDESC), DSBCAPS_PRIMARYBUFFER, 0, 0, nullptr, GUID_NULL};
        ASSERT_EQ(device_->CreateSoundBuffer(&desc, primary_.put(), nullptr), DS_OK);
        records_.setSound(device_, primary_.get());
        eax_ = fn<Call1>("Orvox_EAX");
    }
    void TearDown() override {
        Plugin::TearDown();
        primary_.reset();
    }

    // References held on the engine's primary buffer besides the engine's own.
    ULONG primaryBorrowers() {
        primary_->AddRef();
        return primary_->Release() - 1;
    }

    // The environment in force on the process's EAX listener, read through a hardware
    // voice of the test's own; -1 when none is (or the hardware has no EAX).
    static int environmentInForce() {
        plat::ComPtr<IDirectSound> device;
        if (FAILED(CoCreateInstance(CLSID_EAXDirectSound, nullptr, CLSCTX_INPROC_SERVER, IID_IDirectSound,
                                    reinterpret_cast<void**>(device.put()))) ||
            FAILED(device->Initialize(nullptr)))
            return -1;
        WAVEFORMATEX format{WAVE_FORMAT_PCM, 1, 44100, 88200, 2, 16, 0};
        DSBUFFERDESC desc{DSBUFFERDESC1_SIZE_32, DSBCAPS_CTRL3D | DSBCAPS_LOCHARDWARE, 1024, 0, &format, GUID_NULL};
        plat::ComPtr<IDirectSoundBuffer> voice;
        plat::ComPtr<IKsPropertySet> properties;
        if (FAILED(device->CreateSoundBuffer(&desc, voice.put(), nullptr)) ||
            FAILED(voice->QueryInterface(IID_IKsPropertySet, reinterpret_cast<void**>(properties.put()))))
            return -1;
        DWORD value = 0;
        ULONG returned = 0;
        if (FAILED(properties->Get(DSPROPSETID_EAX20_ListenerProperties, DSPROPERTY_EAXLISTENER_ENVIRONMENT, nullptr,
                                   0, &value, sizeof(value), &returned)))
            return -1;
        return static_cast<int>(value);
    }

    plat::ComPtr<IDirectSoundBuffer> primary_;
    Call1 eax_ = nullptr;
};

TEST_F(EaxExport, ArgumentMapping) {
    struct Case {
        int32_t argument;
        int environment;  // in force afterwards; -1 none
    };
    const Case cases[] = {
        {kOne, 0},                 // first environment, and the setup
        {26 * kOne, 25},           // last
        {kOne + 921, 0},           // 1.9 counts as 1
        {9 * kOne, 8},             //
        {27 * kOne, 8},            // beyond the last: nothing changes
        {-kOne, 8},                // below zero: nothing changes
        {-kOne / 2, 8},            // -0.5 is -1
        {kOne / 2, -1},            // 0.5 is 0: tears down
        {3 * kOne, 2},             // sets up again
    };
    for (const Case& c : cases) {
        EXPECT_EQ(eax_(c.argument), 1) << c.argument;
        EXPECT_EQ(environmentInForce(), c.environment) << c.argument;
    }
    EXPECT_EQ(readFile("MediaLog.txt"), kInitialized + kInitialized);
}

TEST_F(EaxExport, FirstCallWithZeroSetsUpAndReleasesAtOnce) {
    const ULONG before = primaryBorrowers();
    EXPECT_EQ(eax_(0), 1);
    EXPECT_EQ(readFile("MediaLog.txt"), kInitialized);
    EXPECT_EQ(primaryBorrowers(), before);  // the listener is released again
    EXPECT_EQ(environmentInForce(), -1);
    EXPECT_EQ(eax_(5 * kOne), 1);  // the chain is made anew
    EXPECT_EQ(primaryBorrowers(), before + 1);
    EXPECT_EQ(environmentInForce(), 4);
    EXPECT_EQ(readFile("MediaLog.txt"), kInitialized + kInitialized);
}

// A setup that fails writes its step's line (with logging off too), returns 0, keeps
// nothing it obtained, and the next call starts again from the first step.
struct FailedStep {
    const char* name;
    std::function<void(EaxExport&)> arrange;
    std::string lines;
};

void PrintTo(const FailedStep& step, std::ostream* out) { *out << step.name; }

class EaxSetupFailure : public EaxExport, public ::testing::WithParamInterface<FailedStep> {
protected:
    void expectFailuresThenRecovery() {
        const FailedStep& step = GetParam();
        ASSERT_EQ(fn<Call1>("Orvox_Log")(0), 1);
        const ULONG before = primaryBorrowers();
        for (int attempt = 0; attempt < 2; ++attempt) {
            step.arrange(*this);
            EXPECT_EQ(eax_(9 * kOne), 0);
            EXPECT_EQ(primaryBorrowers(), before);
        }
        EXPECT_EQ(readFile("MediaLog.txt"), step.lines + step.lines);
        EXPECT_EQ(environmentInForce(), -1);
        if (step.name != std::string("SecondBuffer")) {
            records_.setSound(device_, primary_.get());
            EXPECT_EQ(eax_(9 * kOne), 1);
            EXPECT_EQ(environmentInForce(), 8);
        }
    }
};

std::string stepName(const ::testing::TestParamInfo<FailedStep>& step) { return step.param.name; }

TEST_P(EaxSetupFailure, WritesItsLineAndKeepsNothing) { expectFailuresThenRecovery(); }

INSTANTIATE_TEST_SUITE_P(
    Steps, EaxSetupFailure,
    ::testing::Values(
        FailedStep{"Classes", [](EaxExport&) { a5p_fail_device_creations(2); },
                   "Error: Failed to CoCreateInstance of EAXDirectSound and DirectSound for EAX\n"},
        FailedStep{"Initialize", [](EaxExport&) { a5p_fail_device_initializations(1); },
                   "Error: Failed to initialize Direct Sound for EAX\n"},
        FailedStep{"Listener", [](EaxExport& fixture) { fixture.noPrimaryBuffer(); },
                   kInitialized + "Error: Failed to query interface for pListener for EAX\n"}),
    stepName);

// Hardware without EAX: the plain class is made and initialised, then the hardware 3D
// buffer is refused.
using NoEaxExport = EaxSetupFailure;
TEST_P(NoEaxExport, WritesItsLineAndKeepsNothing) { expectFailuresThenRecovery(); }
INSTANTIATE_TEST_SUITE_P(Steps, NoEaxExport,
                         ::testing::Values(FailedStep{
                             "SecondBuffer", [](EaxExport&) {},
                             kInitialized + "Error: Failed to create 2nd buffer - EAX support not available\n"}),
                         stepName);

// Music on the engine's device at full volume is its own samples, bit for bit, when
// nothing processes the output.
TEST_F(EaxExport, TeardownLeavesTheEnginePrimaryWorkingAndTheOutputDry) {
    const NoiseLoop noise(4096, 3, 6000);
    WAVEFORMATEX format{WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
    DSBUFFERDESC desc{sizeof(DSBUFFERDESC), 0, DWORD(noise.samples().size() * 2), 0, &format, GUID_NULL};
    plat::ComPtr<IDirectSoundBuffer> music;
    ASSERT_EQ(device_->CreateSoundBuffer(&desc, music.put(), nullptr), DS_OK);
    void *p1, *p2;
    DWORD n1, n2;
    ASSERT_EQ(music->Lock(0, desc.dwBufferBytes, &p1, &n1, &p2, &n2, 0), DS_OK);
    std::memcpy(p1, noise.samples().data(), n1);
    music->Unlock(p1, n1, p2, n2);
    LeftCapture capture;
    music->Play(0, 0, DSBPLAY_LOOPING);
    a5p_advance_ns(10 * kMs);
    capture.take();

    for (const char* teardown : {"Orvox_EAX(0)", "Orvox_Shutdown"}) {
        SCOPED_TRACE(teardown);
        ASSERT_EQ(eax_(9 * kOne), 1);  // the cave
        a5p_advance_ns(300 * kMs);
        EXPECT_FALSE(noise.isDry(capture.take()));
        if (teardown == std::string("Orvox_EAX(0)"))
            EXPECT_EQ(eax_(0), 1);
        else
            EXPECT_EQ(fn<Call0>("Orvox_Shutdown")(), 1);
        a5p_advance_ns(200 * kMs);
        EXPECT_TRUE(noise.isDry(capture.take()));
    }
    // The engine's primary buffer still sets its device's volume.
    LONG volume = 1;
    EXPECT_EQ(primary_->SetVolume(DSBVOLUME_MIN), DS_OK);
    EXPECT_EQ(primary_->GetVolume(&volume), DS_OK);
    EXPECT_EQ(volume, DSBVOLUME_MIN);
    a5p_advance_ns(100 * kMs);
    const std::vector<int16_t> silent = capture.take();
    EXPECT_TRUE(std::all_of(silent.begin() + 512, silent.end(), [](int16_t s) { return s == 0; }));
    primary_->SetVolume(0);
}

}  // namespace
}  // namespace orvox::test
