// The CD audio device and the audio mixer's CD line under the virtual clock: what a play
// puts into the mix, frame for frame, against the shared image's track WAVs and against
// images made here; positions, modes and notices as a drive gives them; images that
// cannot be played; and the mixer control that scales the CD's output.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <filesystem>
#include <string>
#include <vector>

#include <plat/a5platform.h>
#include <plat/audio_mixer.h>
#include <plat/mci.h>
#include <plat/winbase.h>

#include "cd_image.h"
#include "mix_capture.h"
#include "../shared_data.h"

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
    }
    void TearDown() override {
        for (MCIDEVICEID id : open_) mciSendCommandA(id, MCI_CLOSE, MCI_WAIT, 0);
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

    size_t capturedFrames() { return capture_.frames(); }
    // Captured samples of frames [from, from + frames).
    std::vector<int16_t> captured(size_t from, size_t frames) {
        std::vector<int16_t> got = capture_.frames(from, frames);
        EXPECT_EQ(got.size(), frames * 2);
        return got;
    }
    static void setLine(DWORD left, DWORD right) {
        MIXERCONTROLDETAILS_UNSIGNED values[2] = {{left}, {right}};
        MIXERCONTROLDETAILS d{sizeof d, 1, 2, {nullptr}, sizeof values[0], values};
        mixerSetControlDetails(nullptr, &d, MIXER_OBJECTF_MIXER | MIXER_SETCONTROLDETAILSF_VALUE);
    }

    fs::path dir_;

private:
    char windowIdentity_ = 0;
    int aliases_ = 0;
    std::vector<MCIDEVICEID> open_;
    a5test::MixCapture capture_;
};

using a5test::silent;

TEST_F(CdAudioTest, PlayingOneToThreeGivesTracksOneAndTwoExactlyThenStopsAtThree) {
    const std::string cue = sharedImage("cd_a.cue");
    A5_SKIP_WITHOUT_SHARED(!cue.empty(), "CD image cd_a.cue");
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


// The data file as the sheet names it, or in Motorola byte order: the same samples.
class MadeImageTest : public CdAudioTest, public ::testing::WithParamInterface<cdtest::ImageLayout> {};

TEST_P(MadeImageTest, TrackStartsPregapsAndDataTracksPlayAsADriveDoes) {
    // Track 2 has a pregap of 20 sectors; track 3 is data.
    cdtest::ImageLayout layout = GetParam();
    layout.tracks = {{40}, {40, 20}, {20, 0, false}, {30}};
    const std::vector<uint32_t> starts = cdtest::trackStarts(layout);  // 0, 60, 100, 120; the end is 150
    const MCIDEVICEID id = open(cdtest::writeImage(dir_, "made", layout));
    ASSERT_NE(id, 0u);
    EXPECT_EQ(status(id, MCI_STATUS_NUMBER_OF_TRACKS), 4u);
    EXPECT_EQ(status(id, MCI_CDA_STATUS_TYPE_TRACK, MCI_TRACK, 2), MCI_CDA_TRACK_AUDIO);
    EXPECT_EQ(status(id, MCI_CDA_STATUS_TYPE_TRACK, MCI_TRACK, 3), MCI_CDA_TRACK_OTHER);
    EXPECT_EQ(play(id, MCI_FROM, MCI_MAKE_TMSF(3, 0, 0, 0)), MCIERR_HARDWARE);

    // A track position is its INDEX 01: playing from track 2 skips its pregap...
    size_t start = capturedFrames();
    ASSERT_EQ(play(id, MCI_NOTIFY | MCI_FROM | MCI_TO, 2, 3), 0u);
    advanceMs(700);
    EXPECT_EQ(notices(), std::vector<WPARAM>{MCI_NOTIFY_SUCCESSFUL});
    EXPECT_EQ(captured(start, 40 * kFramesPerSector),
              cdtest::patternFrames(uint64_t{starts[1]} * kFramesPerSector, uint64_t{starts[2]} * kFramesPerSector));

    // ...which plays only when track 1 plays through it, as part of track 1.
    start = capturedFrames();
    ASSERT_EQ(play(id, MCI_FROM | MCI_TO, 1, 2), 0u);
    advanceMs(700);
    EXPECT_EQ(status(id, MCI_STATUS_CURRENT_TRACK), 1u);  // sector 52: inside the pregap
    advanceMs(200);
    EXPECT_EQ(captured(start, 60 * kFramesPerSector), cdtest::patternFrames(0, 60 * kFramesPerSector));
    EXPECT_EQ(status(id, MCI_STATUS_CURRENT_TRACK), 2u);

    // Without an end the play runs to the end of the disc; the data track is silent.
    start = capturedFrames();
    ASSERT_EQ(play(id, MCI_NOTIFY | MCI_FROM, MCI_MAKE_TMSF(2, 0, 0, 30)), 0u);
    advanceMs(1300);
    EXPECT_EQ(notices(), std::vector<WPARAM>{MCI_NOTIFY_SUCCESSFUL});
    EXPECT_EQ(captured(start, 10 * kFramesPerSector),
              cdtest::patternFrames(uint64_t{90} * kFramesPerSector, uint64_t{100} * kFramesPerSector));
    EXPECT_TRUE(silent(captured(start + 10 * kFramesPerSector, 20 * kFramesPerSector)));
    EXPECT_EQ(captured(start + 30 * kFramesPerSector, 30 * kFramesPerSector),
              cdtest::patternFrames(uint64_t{120} * kFramesPerSector, uint64_t{150} * kFramesPerSector));
    EXPECT_EQ(status(id, MCI_STATUS_POSITION), MCI_MAKE_TMSF(4, 0, 0, 30));
}

cdtest::ImageLayout motorola() {
    cdtest::ImageLayout layout;
    layout.motorola = true;
    return layout;
}
cdtest::ImageLayout namedApart() {
    cdtest::ImageLayout layout;
    layout.dataFile = "audio data.img";
    return layout;
}
INSTANTIATE_TEST_SUITE_P(Images, MadeImageTest, ::testing::Values(cdtest::ImageLayout{}, motorola(), namedApart()),
                         [](const auto& p) { return std::string(p.index == 0 ? "Binary" : p.index == 1 ? "Motorola" : "NamedApart"); });

// Images that cannot be played count as no drive; a short last sector is dropped.
struct ImageCase {
    const char* name;
    cdtest::ImageLayout layout;
    const char* sheet;  // written instead of the made sheet when set
    DWORD tracks;       // 0: the open fails
    DWORD lastTrackSectors;
};

void PrintTo(const ImageCase& c, std::ostream* out) { *out << c.name; }

class ImageCaseTest : public CdAudioTest, public ::testing::WithParamInterface<ImageCase> {};

TEST_P(ImageCaseTest, OpensOnlyWhatCanBePlayed) {
    const ImageCase& c = GetParam();
    std::string path = cdtest::writeImage(dir_, "case", c.layout);
    if (c.sheet != nullptr) std::ofstream(path, std::ios::binary | std::ios::trunc) << c.sheet;
    if (std::string(c.name) == "NoSuchImage") path = (dir_ / "nothing.cue").string();
    if (std::string(c.name) == "NoDriveNoImage") path = "";
    MCIERROR error = 0;
    const MCIDEVICEID id = open(path, &error);
    if (c.tracks == 0) {
        EXPECT_EQ(id, 0u);
        EXPECT_EQ(error, MCIERR_INVALID_DEVICE_NAME);
        return;
    }
    ASSERT_NE(id, 0u);
    EXPECT_EQ(status(id, MCI_STATUS_NUMBER_OF_TRACKS), c.tracks);
    const DWORD length = status(id, MCI_STATUS_LENGTH, MCI_TRACK, c.tracks);
    EXPECT_EQ(length, MCI_MAKE_MSF(0, BYTE(c.lastTrackSectors / 75), BYTE(c.lastTrackSectors % 75)));
}

cdtest::ImageLayout tracks(std::vector<cdtest::TrackLayout> t, bool writeData = true, int64_t lost = 0) {
    cdtest::ImageLayout layout;
    layout.tracks = std::move(t);
    layout.writeData = writeData;
    layout.dataBytesLost = lost;
    return layout;
}

INSTANTIATE_TEST_SUITE_P(
    Images, ImageCaseTest,
    ::testing::Values(
        ImageCase{"OneTrack", tracks({{80}}), nullptr, 1, 80},
        ImageCase{"PartialLastSector", tracks({{75}, {80}}, true, 100), nullptr, 2, 79},
        ImageCase{"DataMissing", tracks({{75}}, false), nullptr, 0, 0},
        ImageCase{"DataShorterThanTheSheetSays", tracks({{75}, {75}}, true, 76 * 2352), nullptr, 0, 0},
        ImageCase{"NoFileLine", tracks({{75}}), "TRACK 01 AUDIO\r\n  INDEX 01 00:00:00\r\n", 0, 0},
        ImageCase{"WaveFile", tracks({{75}}), "FILE \"case.bin\" WAVE\r\nTRACK 01 AUDIO\r\nINDEX 01 00:00:00\r\n", 0, 0},
        ImageCase{"TwoFiles", tracks({{75}}),
                  "FILE \"case.bin\" BINARY\r\nTRACK 01 AUDIO\r\nINDEX 01 00:00:00\r\n"
                  "FILE \"case.bin\" BINARY\r\nTRACK 02 AUDIO\r\nINDEX 01 00:00:00\r\n",
                  0, 0},
        ImageCase{"Garbage", tracks({{75}}), "FILE \"case.bin\" BINARY\r\n\x01\xfe junk \"\r\n", 0, 0},
        ImageCase{"NoSuchImage", tracks({{75}}), nullptr, 0, 0},
        ImageCase{"NoDriveNoImage", tracks({{75}}), nullptr, 0, 0}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(CdAudioTest, CommandsOutsideWhatTheDeviceTakesFailWithTheirCodes) {
    char text[128];
    EXPECT_EQ(send(0, MCI_STOP), MCIERR_INVALID_DEVICE_ID);
    EXPECT_EQ(mciGetErrorStringA(MCIERR_INVALID_DEVICE_ID, text, sizeof text), TRUE);
    EXPECT_STREQ(text, "Invalid MCI device ID. Use the ID returned when opening the MCI device.");
    EXPECT_EQ(mciGetErrorStringA(MCIERR_INVALID_DEVICE_ID, text, 8), TRUE);
    EXPECT_STREQ(text, "Invalid");
    EXPECT_EQ(mciGetErrorStringA(12345, text, sizeof text), FALSE);
    EXPECT_STREQ(text, "");

    const MCIDEVICEID id = open(cdtest::writeImage(dir_, "commands", tracks({{75}, {75}, {75}})));
    ASSERT_NE(id, 0u);
    // A second open of the drive is a device of its own; an alias in use is refused.
    MCI_OPEN_PARMSA again{};
    again.lpstrDeviceType = "CDAudio";
    again.lpstrAlias = "CD1:";
    EXPECT_EQ(mciSendCommandA(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ALIAS, reinterpret_cast<DWORD_PTR>(&again)),
              MCIERR_DUPLICATE_ALIAS);
    again.lpstrDeviceType = reinterpret_cast<LPCSTR>(uintptr_t{515});
    EXPECT_EQ(mciSendCommandA(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_TYPE_ID, reinterpret_cast<DWORD_PTR>(&again)),
              MCIERR_INVALID_DEVICE_NAME);

    for (DWORD track : {0u, 4u, 255u, 0xFFFFFFFFu}) {
        EXPECT_EQ(play(id, MCI_FROM, track), MCIERR_OUTOFRANGE) << track;
        EXPECT_EQ(play(id, MCI_FROM | MCI_TO, 1, track), MCIERR_OUTOFRANGE) << track;
    }
    EXPECT_EQ(play(id, MCI_FROM | MCI_TO, 3, 2), MCIERR_OUTOFRANGE);
    EXPECT_EQ(play(id, MCI_FROM, MCI_MAKE_TMSF(1, 0, 60, 0)), MCIERR_OUTOFRANGE);
    EXPECT_EQ(play(id, MCI_WAIT | MCI_FROM, 1), MCIERR_UNSUPPORTED_FUNCTION);
    EXPECT_EQ(mciSendCommandA(id, MCI_PLAY, MCI_FROM, 0), MCIERR_NULL_PARAMETER_BLOCK);
    EXPECT_EQ(send(id, 0x0999), MCIERR_UNRECOGNIZED_COMMAND);
    MCI_SET_PARMS set{0, 7, 0};
    EXPECT_EQ(mciSendCommandA(id, MCI_SET, MCI_SET_TIME_FORMAT, reinterpret_cast<DWORD_PTR>(&set)), MCIERR_BAD_TIME_FORMAT);
    EXPECT_EQ(status(id, MCI_STATUS_MODE), MCI_MODE_STOP);

    // A play's notice is superseded by the next play and aborted by a seek; a seek stands
    // at the track's start.
    ASSERT_EQ(play(id, MCI_NOTIFY | MCI_FROM, 1), 0u);
    ASSERT_EQ(play(id, MCI_NOTIFY | MCI_FROM, 2), 0u);
    EXPECT_EQ(notices(), std::vector<WPARAM>{MCI_NOTIFY_SUPERSEDED});
    advanceMs(100);
    MCI_SEEK_PARMS seek{0, MCI_MAKE_TMSF(3, 0, 0, 0)};
    ASSERT_EQ(mciSendCommandA(id, MCI_SEEK, MCI_TO, reinterpret_cast<DWORD_PTR>(&seek)), 0u);
    EXPECT_EQ(notices(), std::vector<WPARAM>{MCI_NOTIFY_ABORTED});
    EXPECT_EQ(status(id, MCI_STATUS_MODE), MCI_MODE_STOP);
    EXPECT_EQ(status(id, MCI_STATUS_CURRENT_TRACK), 3u);
    set.dwTimeFormat = MCI_FORMAT_MSF;
    ASSERT_EQ(mciSendCommandA(id, MCI_SET, MCI_SET_TIME_FORMAT, reinterpret_cast<DWORD_PTR>(&set)), 0u);
    EXPECT_EQ(status(id, MCI_STATUS_POSITION), MCI_MAKE_MSF(0, 4, 0));  // two seconds of lead-in
    EXPECT_EQ(status(id, MCI_STATUS_LENGTH), MCI_MAKE_MSF(0, 3, 0));

    // Other commands tell their window at once.
    EXPECT_EQ(send(id, MCI_STOP, MCI_NOTIFY), 0u);
    EXPECT_EQ(notices(), std::vector<WPARAM>{MCI_NOTIFY_SUCCESSFUL});
    EXPECT_EQ(send(id, MCI_CLOSE, MCI_WAIT), 0u);
    EXPECT_EQ(send(id, MCI_STATUS), MCIERR_INVALID_DEVICE_ID);
}

TEST_F(CdAudioTest, TheMixersCdLineHasOneVolumeControlOfTwoChannels) {
    EXPECT_EQ(mixerGetNumDevs(), 1u);
    HMIXER mixer = nullptr;
    EXPECT_EQ(mixerOpen(&mixer, 1, 0, 0, 0), MMSYSERR_BADDEVICEID);
    ASSERT_EQ(mixerOpen(&mixer, 0, reinterpret_cast<DWORD_PTR>(window()), 0, CALLBACK_WINDOW), MMSYSERR_NOERROR);
    auto* object = reinterpret_cast<HMIXEROBJ>(mixer);

    MIXERLINEA line{};
    line.cbStruct = sizeof line;
    line.dwComponentType = 0x1004;  // a source line it does not have
    EXPECT_EQ(mixerGetLineInfoA(object, &line, MIXER_OBJECTF_HMIXER | MIXER_GETLINEINFOF_COMPONENTTYPE), MIXERR_INVALLINE);
    line.dwComponentType = MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC;
    EXPECT_EQ(mixerGetLineInfoA(&line, &line, MIXER_OBJECTF_HMIXER | MIXER_GETLINEINFOF_COMPONENTTYPE),
              MMSYSERR_INVALHANDLE);
    ASSERT_EQ(mixerGetLineInfoA(object, &line, MIXER_OBJECTF_HMIXER | MIXER_GETLINEINFOF_COMPONENTTYPE), MMSYSERR_NOERROR);
    EXPECT_EQ(line.cChannels, 2u);
    EXPECT_EQ(line.cControls, 1u);

    MIXERCONTROLA control{};
    MIXERLINECONTROLSA controls{};
    controls.cbStruct = sizeof controls;
    controls.dwLineID = line.dwLineID;
    controls.dwControlType = MIXERCONTROL_CONTROLTYPE_VOLUME;
    controls.cControls = 1;
    controls.cbmxctrl = sizeof control;
    controls.pamxctrl = &control;
    ASSERT_EQ(mixerGetLineControlsA(object, &controls, MIXER_OBJECTF_HMIXER | MIXER_GETLINECONTROLSF_ONEBYTYPE),
              MMSYSERR_NOERROR);
    EXPECT_EQ(control.Bounds.dwMinimum, 0u);
    EXPECT_EQ(control.Bounds.dwMaximum, 65535u);

    MIXERCONTROLDETAILS_UNSIGNED values[2] = {{40000}, {1234}};
    MIXERCONTROLDETAILS details{sizeof details, control.dwControlID, 2, {nullptr}, sizeof values[0], values};
    const DWORD flags = MIXER_OBJECTF_HMIXER | MIXER_SETCONTROLDETAILSF_VALUE;
    ASSERT_EQ(mixerSetControlDetails(object, &details, flags), MMSYSERR_NOERROR);
    values[0].dwValue = 65536;  // above the maximum: refused, nothing changes
    EXPECT_EQ(mixerSetControlDetails(object, &details, flags), MMSYSERR_INVALPARAM);
    details.cChannels = 3;
    EXPECT_EQ(mixerSetControlDetails(object, &details, flags), MMSYSERR_INVALPARAM);
    details.cChannels = 2;
    details.dwControlID = 77;
    EXPECT_EQ(mixerGetControlDetailsA(object, &details, flags), MIXERR_INVALCONTROL);
    details.dwControlID = control.dwControlID;
    ASSERT_EQ(mixerGetControlDetailsA(object, &details, flags), MMSYSERR_NOERROR);
    EXPECT_EQ(values[0].dwValue, 40000u);
    EXPECT_EQ(values[1].dwValue, 1234u);

    EXPECT_EQ(mixerClose(mixer), MMSYSERR_NOERROR);
    EXPECT_EQ(mixerClose(mixer), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(mixerGetControlDetailsA(object, &details, flags), MMSYSERR_INVALHANDLE);
}

TEST_F(CdAudioTest, TheLinesVolumeScalesTheCdOutputAtOnce) {
    const MCIDEVICEID id = open(cdtest::writeImage(dir_, "volume", tracks({{150}})));
    ASSERT_NE(id, 0u);
    setLine(32768, 16384);
    const size_t start = capturedFrames();
    ASSERT_EQ(play(id, MCI_FROM, 1), 0u);
    advanceMs(500);
    const size_t changed = capturedFrames() - start;  // the mix so far; the change takes the next block
    setLine(65535, 0);
    advanceMs(500);

    const std::vector<int16_t> heard = captured(start, 2 * changed);
    const std::vector<int16_t> source = cdtest::patternFrames(0, 2 * changed);
    for (size_t i = 0; i < heard.size(); ++i) {
        const bool left = i % 2 == 0;
        const double gain = i / 2 < changed ? (left ? 32768.0 : 16384.0) / 65535 : (left ? 1.0 : 0.0);
        const double want = source[i] * gain;
        ASSERT_NEAR(heard[i], want, 1.0 + std::abs(want) * 1e-3) << "sample " << i;
    }
}

}  // namespace
