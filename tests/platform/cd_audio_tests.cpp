// The CD audio device and the audio mixer's CD line under the virtual clock: what a play
// puts into the mix, frame for frame, against the shared image's track WAVs and against
// images made here; positions, modes and notices as a drive gives them; images that
// cannot be played; and the mixer control that scales the CD's output.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include <plat/a5platform.h>
#include <plat/audio_mixer.h>
#include <plat/mci.h>
#include <plat/winbase.h>

#include "cd_image.h"

namespace {

namespace fs = std::filesystem;
using cdtest::kFramesPerSector;

std::string sharedImage(const char* name) {
    const fs::path path = fs::path(A5_SHARED_DIR) / "media" / "cd" / name;
    return fs::exists(path) ? path.string() : std::string();
}

class CdAudioTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("a5cd_" + std::to_string(getpid()) + "_" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        ASSERT_EQ(a5p_register_window(window()), 0);
        a5p_set_capture(&CdAudioTest::receive, this);
    }
    void TearDown() override {
        for (MCIDEVICEID id : open_) mciSendCommandA(id, MCI_CLOSE, MCI_WAIT, 0);
        a5p_set_capture(nullptr, nullptr);
        a5p_unregister_window(window());
        a5p_set_cd_image(nullptr);
        setLine(65535, 65535);
        fs::remove_all(dir_);
    }

    HWND window() { return &windowIdentity_; }

    // Opens the drive as the player does, on `image`, in TMSF: the device, or 0.
    MCIDEVICEID open(const std::string& image, MCIERROR* error = nullptr) {
        a5p_set_cd_image(image.c_str());
        MCI_OPEN_PARMSA p{};
        p.lpstrDeviceType = reinterpret_cast<LPCSTR>(uintptr_t{MCI_DEVTYPE_CD_AUDIO});
        p.lpstrElementName = "D:";
        const std::string alias = "CD" + std::to_string(++aliases_) + ":";
        p.lpstrAlias = alias.c_str();
        const MCIERROR e = mciSendCommandA(0, MCI_OPEN, 0x3702, reinterpret_cast<DWORD_PTR>(&p));
        if (error != nullptr) *error = e;
        if (e != 0 || p.wDeviceID == 0) return 0;
        open_.push_back(p.wDeviceID);
        MCI_SET_PARMS set{0, MCI_FORMAT_TMSF, 0};
        EXPECT_EQ(mciSendCommandA(p.wDeviceID, MCI_SET, MCI_SET_TIME_FORMAT, reinterpret_cast<DWORD_PTR>(&set)), 0u);
        return p.wDeviceID;
    }

    MCIERROR play(MCIDEVICEID id, DWORD flags, DWORD from = 0, DWORD to = 0) {
        MCI_PLAY_PARMS p{reinterpret_cast<DWORD_PTR>(window()), from, to};
        return mciSendCommandA(id, MCI_PLAY, flags, reinterpret_cast<DWORD_PTR>(&p));
    }
    MCIERROR send(MCIDEVICEID id, UINT command, DWORD flags = 0) {
        MCI_GENERIC_PARMS p{reinterpret_cast<DWORD_PTR>(window())};
        return mciSendCommandA(id, command, flags, reinterpret_cast<DWORD_PTR>(&p));
    }
    DWORD status(MCIDEVICEID id, DWORD item, DWORD flags = 0, DWORD track = 0) {
        MCI_STATUS_PARMS p{0, 0xDEAD, item, track};
        const MCIERROR e = mciSendCommandA(id, MCI_STATUS, MCI_STATUS_ITEM | flags, reinterpret_cast<DWORD_PTR>(&p));
        EXPECT_EQ(e, 0u) << "status item " << item;
        return static_cast<DWORD>(p.dwReturn);
    }
    // The completion notices that reached the window since the last call: wParam values.
    std::vector<WPARAM> notices() {
        std::vector<WPARAM> got;
        MSG msg;
        while (PeekMessageA(&msg, window(), MM_MCINOTIFY, MM_MCINOTIFY, PM_REMOVE)) got.push_back(msg.wParam);
        return got;
    }
    static void advanceMs(double ms) { a5p_advance_ns(static_cast<uint64_t>(ms * 1e6)); }

    size_t capturedFrames() {
        std::lock_guard lock(mutex_);
        return captured_.size() / 2;
    }
    // Captured samples of frames [from, from + frames).
    std::vector<int16_t> captured(size_t from, size_t frames) {
        std::lock_guard lock(mutex_);
        EXPECT_LE((from + frames) * 2, captured_.size());
        const size_t end = std::min(captured_.size(), (from + frames) * 2);
        return std::vector<int16_t>(captured_.begin() + static_cast<ptrdiff_t>(from * 2),
                                    captured_.begin() + static_cast<ptrdiff_t>(end));
    }
    static void setLine(DWORD left, DWORD right) {
        MIXERCONTROLDETAILS_UNSIGNED values[2] = {{left}, {right}};
        MIXERCONTROLDETAILS d{sizeof d, 1, 2, {nullptr}, sizeof values[0], values};
        mixerSetControlDetails(nullptr, &d, MIXER_OBJECTF_MIXER | MIXER_SETCONTROLDETAILSF_VALUE);
    }

    fs::path dir_;

private:
    static void receive(void* user, const int16_t* samples, size_t frames, unsigned channels) {
        auto* self = static_cast<CdAudioTest*>(user);
        std::lock_guard lock(self->mutex_);
        self->captured_.insert(self->captured_.end(), samples, samples + frames * channels);
    }

    char windowIdentity_ = 0;
    int aliases_ = 0;
    std::vector<MCIDEVICEID> open_;
    std::mutex mutex_;
    std::vector<int16_t> captured_;
};

bool silent(const std::vector<int16_t>& samples) {
    return std::all_of(samples.begin(), samples.end(), [](int16_t s) { return s == 0; });
}

TEST_F(CdAudioTest, PlayingOneToThreeGivesTracksOneAndTwoExactlyThenStopsAtThree) {
    const std::string cue = sharedImage("cd_a.cue");
    if (cue.empty()) GTEST_SKIP() << "shared CD image absent";
    std::vector<int16_t> expected = cdtest::wavSamples(sharedImage("cd_a_track01.wav"));
    const std::vector<int16_t> two = cdtest::wavSamples(sharedImage("cd_a_track02.wav"));
    expected.insert(expected.end(), two.begin(), two.end());
    ASSERT_EQ(expected.size(), size_t{675} * kFramesPerSector * 2);

    const MCIDEVICEID id = open(cue);
    ASSERT_NE(id, 0u);
    EXPECT_EQ(status(id, MCI_STATUS_NUMBER_OF_TRACKS), 3u);
    EXPECT_EQ(status(id, MCI_STATUS_CURRENT_TRACK), 1u);  // a disc at rest
    EXPECT_EQ(status(id, MCI_STATUS_MODE), MCI_MODE_STOP);
    EXPECT_EQ(status(id, MCI_STATUS_LENGTH, MCI_TRACK, 2), MCI_MAKE_MSF(0, 5, 0));

    advanceMs(50);
    const size_t start = capturedFrames();
    ASSERT_EQ(play(id, MCI_NOTIFY | MCI_FROM | MCI_TO, 1, 3), 0u);
    advanceMs(4500);
    EXPECT_EQ(status(id, MCI_STATUS_MODE), MCI_MODE_PLAY);
    EXPECT_EQ(status(id, MCI_STATUS_CURRENT_TRACK), 2u);
    EXPECT_TRUE(notices().empty());
    advanceMs(5000);

    EXPECT_EQ(notices(), std::vector<WPARAM>{MCI_NOTIFY_SUCCESSFUL});
    EXPECT_EQ(status(id, MCI_STATUS_MODE), MCI_MODE_STOP);
    EXPECT_EQ(status(id, MCI_STATUS_CURRENT_TRACK), 3u);
    EXPECT_EQ(status(id, MCI_STATUS_POSITION), MCI_MAKE_TMSF(3, 0, 0, 0));
    const std::vector<int16_t> heard = captured(start, expected.size() / 2);
    ASSERT_EQ(heard.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) ASSERT_EQ(heard[i], expected[i]) << "sample " << i;
    EXPECT_TRUE(silent(captured(start + expected.size() / 2, capturedFrames() - start - expected.size() / 2)));
}

TEST_F(CdAudioTest, PauseTwiceResumesOnTheFrameWhereItStopped) {
    const std::string cue = cdtest::writeImage(dir_, "pause", {{{150}, {150}}});
    const MCIDEVICEID id = open(cue);
    ASSERT_NE(id, 0u);
    const size_t start = capturedFrames();
    ASSERT_EQ(play(id, MCI_NOTIFY | MCI_FROM, 1), 0u);
    advanceMs(1234);
    ASSERT_EQ(send(id, MCI_PAUSE), 0u);
    const size_t paused = capturedFrames();
    EXPECT_EQ(notices(), std::vector<WPARAM>{MCI_NOTIFY_ABORTED});
    // A paused drive reports the stopped mode, and play without a range resumes it.
    EXPECT_EQ(status(id, MCI_STATUS_MODE), MCI_MODE_STOP);
    const auto sector = static_cast<DWORD>((paused - start) / kFramesPerSector);
    EXPECT_EQ(status(id, MCI_STATUS_POSITION), MCI_MAKE_TMSF(1, 0, BYTE(sector / 75), BYTE(sector % 75)));
    advanceMs(700);
    const size_t resumed = capturedFrames();
    EXPECT_TRUE(silent(captured(paused, resumed - paused)));
    ASSERT_EQ(play(id, 0), 0u);
    advanceMs(3500);

    const size_t before = paused - start;
    std::vector<int16_t> heard = captured(start, before);
    const std::vector<int16_t> after = captured(resumed, 300 * kFramesPerSector - before);
    heard.insert(heard.end(), after.begin(), after.end());
    EXPECT_EQ(heard, cdtest::patternFrames(0, 300 * kFramesPerSector));
    EXPECT_EQ(status(id, MCI_STATUS_MODE), MCI_MODE_STOP);
    EXPECT_TRUE(notices().empty());  // the resuming play asked for no notice
}

}  // namespace
