// The Windows Media stream against a reader the test drives by hand: the COM object, each
// way play can fail, the output format it keeps, the queue and the writing behind the play
// cursor, the statuses, and two streams opening and closing at once.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <plat/a5platform.h>
#include <plat/winbase.h>

#include "player_fixture.h"
#include "scripted_reader.h"
#include "windows_media_stream.h"

namespace orvox::test {
namespace {

using stream::WindowsMediaStream;

thread_local ScriptedReader* nextReader = nullptr;

HRESULT createScripted(IUnknown*, DWORD, IWMReader** reader) {
    if (nextReader == nullptr) return E_FAIL;
    *reader = nextReader;
    nextReader->AddRef();
    return S_OK;
}

std::vector<BYTE> pattern(size_t bytes, unsigned seed) {
    std::vector<BYTE> out(bytes);
    for (size_t i = 0; i < bytes; ++i) out[i] = static_cast<BYTE>(seed + i * 13);
    return out;
}

class WmStream : public PlayerTest {
protected:
    // A stream whose play gets `reader` (none: the reader cannot be made).
    stream::WindowsMediaStreamRef streamWith(ScriptedReader* reader) {
        nextReader = reader;
        return stream::makeWindowsMediaStream(&createScripted);
    }
    static void deliver(WindowsMediaStream& s, const std::vector<BYTE>& bytes, DWORD output = 0) {
        ScriptedReader::Sample sample(bytes);
        EXPECT_EQ(s.OnSample(output, 0, 0, WM_SF_CLEANPOINT, &sample, nullptr), S_OK);
    }
    static bool playing(WindowsMediaStream& s) {
        DWORD status = 0;
        s.buffer()->GetStatus(&status);
        return (status & DSBSTATUS_PLAYING) != 0;
    }
    static DWORD playCursor(WindowsMediaStream& s) {
        DWORD play = 0;
        s.buffer()->GetCurrentPosition(&play, nullptr);
        return play;
    }
    // The buffer's bytes at [offset, offset + bytes).
    static std::vector<BYTE> bufferBytes(WindowsMediaStream& s, DWORD offset, DWORD bytes) {
        void* p1 = nullptr;
        void* p2 = nullptr;
        DWORD b1 = 0, b2 = 0;
        EXPECT_EQ(s.buffer()->Lock(offset, bytes, &p1, &b1, &p2, &b2, 0), DS_OK);
        std::vector<BYTE> out(static_cast<BYTE*>(p1), static_cast<BYTE*>(p1) + b1);
        if (p2 != nullptr) out.insert(out.end(), static_cast<BYTE*>(p2), static_cast<BYTE*>(p2) + b2);
        s.buffer()->Unlock(p1, b1, p2, b2);
        return out;
    }
};

TEST_F(WmStream, AnswersNoInterfaceAndCountsItsReferences) {
    ScriptedReader reader;
    auto s = streamWith(&reader);
    for (const IID& iid : {IID_IUnknown, IID_IWMStatusCallback, IID_IWMReaderCallback, IID_IDirectSound}) {
        void* object = &reader;
        EXPECT_EQ(s->QueryInterface(iid, &object), E_NOINTERFACE);
        EXPECT_EQ(object, nullptr);
    }
    EXPECT_EQ(s->AddRef(), 2u) << "the list holds the first";
    EXPECT_EQ(s->Release(), 1u);
    ASSERT_TRUE(s->play("a.wma", 1, nullptr, device_.get()));
    EXPECT_EQ(s->AddRef(), 3u) << "the open reader holds one";
    s->Release();
    s->shutdown();
    EXPECT_EQ(s->AddRef(), 2u) << "and gives it back when closed";
    s->Release();
    EXPECT_TRUE(reader.released());
}

enum class Step { CreateReader, OpenCall, OpenStatus, SoundBuffer, StartCall };

struct PlayFailure {
    Step step;
    const char* line;
    int closes;  // the reader is closed when it was opened
};

std::string stepName(const ::testing::TestParamInfo<PlayFailure>& failure) {
    static const char* const kNames[] = {"CreateReader", "OpenCall", "OpenStatus", "SoundBuffer", "StartCall"};
    return kNames[static_cast<int>(failure.param.step)];
}

class WmStreamPlayFailure : public WmStream, public ::testing::WithParamInterface<PlayFailure> {};

TEST_P(WmStreamPlayFailure, LogsItsLineAndKeepsNothing) {
    const PlayFailure c = GetParam();
    ScriptedReader reader;
    if (c.step == Step::OpenCall) reader.openCall = E_FAIL;
    if (c.step == Step::OpenStatus) reader.openResult = NS_E_INVALID_DATA;
    if (c.step == Step::StartCall) reader.startCall = E_FAIL;
    auto s = streamWith(c.step == Step::CreateReader ? nullptr : &reader);
    IDirectSound* device = c.step == Step::SoundBuffer ? nullptr : device_.get();

    EXPECT_FALSE(s->play("a.wma", 1, nullptr, device));
    EXPECT_EQ(readLog(), c.line);
    EXPECT_FALSE(s->isPlaying());
    EXPECT_FALSE(s->hasReader());
    EXPECT_EQ(s->buffer(), nullptr);
    EXPECT_EQ(reader.closes.load(), c.closes);
    EXPECT_TRUE(reader.released());
    for (TrackedBuffer* b : device_->buffers()) EXPECT_TRUE(b->released());

    // Every control and the shutdown work on what exists: nothing.
    s->setVolume(40);
    s->startFade(5, true);
    s->togglePause();
    s->stop();
    s->shutdown();
    EXPECT_EQ(reader.closes.load(), c.closes);
    EXPECT_EQ(reader.stops.load() + reader.pauses.load() + reader.resumes.load(), 0);
    for (TrackedBuffer* b : device_->buffers()) EXPECT_EQ(b->callsAfterRelease(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, WmStreamPlayFailure,
    ::testing::Values(PlayFailure{Step::CreateReader, "Error: WMA/WMV/ASF: Couldn't create reader in Play\n", 0},
                      PlayFailure{Step::OpenCall, "Error: WMA/WMV/ASF: Couldn't open file in Play\n", 0},
                      PlayFailure{Step::OpenStatus, "Error: WMA/WMV/ASF: Couldn't open file in Play\n", 1},
                      PlayFailure{Step::SoundBuffer, "Error: WMA/WMV/ASF: Couldn't create sound buffer in Play\n", 1},
                      PlayFailure{Step::StartCall, "Error: WMA/WMV/ASF: Couldn't start reader in Play\n", 1}),
    stepName);

TEST_F(WmStream, KeepsTheOutputFormatWithItsExtraBytesCutAt1024) {
    const struct {
        std::vector<BYTE> block;
        size_t kept;
    } cases[] = {
        {pcmFormatBlock(2, 44100), 18},
        {pcmFormatBlock(1, 22050, 22), 40},
        {pcmFormatBlock(2, 48000, 2000), 1024},
    };
    for (const auto& c : cases) {
        ScriptedReader reader;
        reader.format = c.block;
        auto s = streamWith(&reader);
        ASSERT_TRUE(s->play("a.wma", 1, nullptr, device_.get()));
        ASSERT_EQ(s->outputFormatBytes(), c.kept);
        EXPECT_EQ(std::memcmp(s->outputFormat(), c.block.data(), c.kept), 0);
        WAVEFORMATEX output;
        std::memcpy(&output, c.block.data(), sizeof output);
        const WAVEFORMATEX& f = s->format();
        EXPECT_EQ(f.wFormatTag, WAVE_FORMAT_PCM);
        EXPECT_EQ(f.nChannels, output.nChannels);
        EXPECT_EQ(f.nSamplesPerSec, output.nSamplesPerSec);
        EXPECT_EQ(f.nBlockAlign, 2 * output.nChannels);
        EXPECT_EQ(f.nAvgBytesPerSec, output.nBlockAlign * output.nSamplesPerSec);
        DSBCAPS caps{sizeof(DSBCAPS), 0, 0, 0, 0};
        ASSERT_EQ(s->buffer()->GetCaps(&caps), DS_OK);
        EXPECT_EQ(caps.dwBufferBytes, 65536u);
        EXPECT_EQ(caps.dwFlags & ~DSBCAPS_LOCSOFTWARE, 0x80E0u);
        s->shutdown();
    }
    // A block shorter than its cbSize claims: only what is there is read.
    std::vector<BYTE> shortBlock = pcmFormatBlock(2, 44100, 100);
    shortBlock.resize(30);
    ScriptedReader reader;
    reader.format = shortBlock;
    auto s = streamWith(&reader);
    ASSERT_TRUE(s->play("a.wma", 1, nullptr, device_.get()));
    EXPECT_EQ(s->outputFormatBytes(), 30u);
}

TEST_F(WmStream, SamplesQueueAndGoBehindTheCursorClearOfItInWholeWords) {
    ScriptedReader reader;
    auto s = streamWith(&reader);
    ASSERT_TRUE(s->play("a.wma", 1, nullptr, device_.get()));
    const std::vector<BYTE> first = pattern(1000, 1);
    deliver(*s, first);
    EXPECT_EQ(s->pendingBytes(), 1000u) << "no room while the cursor has not moved";
    EXPECT_EQ(s->writePosition(), 0u);

    advanceMs(20);
    const DWORD cursor = playCursor(*s);
    ASSERT_GT(cursor, 1200u);
    deliver(*s, pattern(10, 2), 1);
    EXPECT_EQ(s->pendingBytes(), 1000u) << "other outputs are ignored";
    const std::vector<BYTE> second = pattern(6, 3);
    deliver(*s, second);
    // min(room, pending) = 1006, rounded down to 1004, less the 128-byte margin.
    EXPECT_EQ(s->writePosition(), 876u);
    EXPECT_EQ(s->pendingBytes(), 130u);
    EXPECT_EQ(bufferBytes(*s, 0, 876), std::vector<BYTE>(first.begin(), first.begin() + 876));

    deliver(*s, pattern(1, 4));
    EXPECT_EQ(s->writePosition(), 876u) << "131 pending: less than a word beyond the margin";
    deliver(*s, pattern(2, 5));
    EXPECT_EQ(s->writePosition(), 880u);
    EXPECT_EQ(s->pendingBytes(), 129u);

    // The writer never comes closer than 128 bytes to the cursor.
    advanceMs(20);
    deliver(*s, pattern(60000, 6));
    const DWORD now = playCursor(*s);
    EXPECT_EQ(s->writePosition(), (now - 128) & ~3u);

    // A lost buffer takes nothing and keeps the position; it is restored and plays on.
    a5p_mark_buffer_lost(device_->last()->real(), 0);
    const DWORD kept = s->writePosition();
    const size_t pending = s->pendingBytes();
    advanceMs(20);
    deliver(*s, pattern(4, 7));
    EXPECT_EQ(s->writePosition(), kept);
    EXPECT_EQ(s->pendingBytes(), pending + 4);
    EXPECT_TRUE(playing(*s));
}

TEST_F(WmStream, SteadyDeliveriesStopGrowingTheQueue) {
    ScriptedReader reader;
    auto s = streamWith(&reader);
    ASSERT_TRUE(s->play("a.wma", 1, nullptr, device_.get()));
    const std::vector<BYTE> sample = pattern(8192, 9);  // 2048 stereo frames, 46.4 ms
    size_t settled = 0;
    for (int i = 0; i < 400; ++i) {
        if (i < 3) deliver(*s, sample);  // a reader runs a little ahead
        deliver(*s, sample);
        advanceMs(2048 / 44.1);
        if (i == 50) settled = s->pendingCapacity();
    }
    EXPECT_GT(settled, 0u);
    EXPECT_EQ(s->pendingCapacity(), settled);
    EXPECT_LT(s->pendingBytes(), 5u * 8192);
}

TEST_F(WmStream, StatusesPrintTheirLinesSetTheFlagsAndEndOrRestart) {
    ScriptedReader reader;
    auto s = streamWith(&reader);
    HANDLE endEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_TRUE(s->play("a.wma", 1, endEvent, device_.get()));
    EXPECT_TRUE(s->isPlaying());

    ::testing::internal::CaptureStdout();
    s->OnStatus(WMT_LOCATING, S_OK, WMT_TYPE_DWORD, nullptr, nullptr);
    s->OnStatus(WMT_CONNECTING, S_OK, WMT_TYPE_DWORD, nullptr, nullptr);
    s->OnStatus(WMT_MISSING_CODEC, NS_E_AUDIO_CODEC_NOT_INSTALLED, WMT_TYPE_DWORD, nullptr, nullptr);
    s->OnStatus(WMT_END_OF_SEGMENT, S_OK, WMT_TYPE_DWORD, nullptr, nullptr);
    s->OnStatus(WMT_BUFFERING_START, S_OK, WMT_TYPE_DWORD, nullptr, nullptr);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "OnStatus( WMT_LOCATING )\nOnStatus( WMT_CONNECTING )\nMissing codec: (hr=0xc00d10c7)\n"
              "OnStatus( WMT_END_OF_SEGMENT )\n");
    EXPECT_EQ(WaitForSingleObject(endEvent, 0), WAIT_OBJECT_0) << "the end of a segment signals the end";
    EXPECT_EQ(reader.starts.load(), 1) << "and a looping stream stays put";
    ResetEvent(endEvent);

    s->OnStatus(WMT_STOPPED, S_OK, WMT_TYPE_DWORD, nullptr, nullptr);
    EXPECT_FALSE(s->isPlaying());
    s->OnStatus(WMT_STARTED, S_OK, WMT_TYPE_DWORD, nullptr, nullptr);
    EXPECT_TRUE(s->isPlaying());

    // The stopped status cleared the loop flag: this end is the last.
    deliver(*s, pattern(4000, 1));
    s->OnStatus(WMT_END_OF_FILE, S_OK, WMT_TYPE_DWORD, nullptr, nullptr);
    EXPECT_EQ(WaitForSingleObject(endEvent, 0), WAIT_OBJECT_0);
    EXPECT_EQ(reader.starts.load(), 1);
    EXPECT_EQ(reader.stops.load(), 1) << "a stream played once stops its reader";
    s->OnStatus(WMT_STOPPED, S_OK, WMT_TYPE_DWORD, nullptr, nullptr);
    EXPECT_FALSE(s->isPlaying());
    s->forgetEndEvent();
    CloseHandle(endEvent);
    s->OnStatus(WMT_END_OF_FILE, S_OK, WMT_TYPE_DWORD, nullptr, nullptr);  // signals nothing any more
}

TEST_F(WmStream, ALoopingStreamRestartsOnlyAfterAPassThatDeliveredSomething) {
    ScriptedReader reader;
    auto s = streamWith(&reader);
    ASSERT_TRUE(s->play("a.wma", 1, nullptr, device_.get()));
    for (int pass = 0; pass < 3; ++pass) {
        deliver(*s, pattern(100, 1));
        s->OnStatus(WMT_END_OF_FILE, S_OK, WMT_TYPE_DWORD, nullptr, nullptr);
    }
    EXPECT_EQ(reader.starts.load(), 4) << "play's start and three restarts";
    EXPECT_EQ(reader.stops.load(), 0);
    s->OnStatus(WMT_END_OF_FILE, S_OK, WMT_TYPE_DWORD, nullptr, nullptr);
    EXPECT_EQ(reader.starts.load(), 4) << "an empty pass would restart for ever";
    EXPECT_EQ(reader.stops.load(), 1);
}

TEST_F(WmStream, TwoStreamsOpeningAndClosingAtOnceEachGetTheirOwnStatus) {
    std::mt19937 rng(17);
    for (int round = 0; round < 60; ++round) {
        ScriptedReader failing;
        ScriptedReader opening;
        failing.openResult = NS_E_INVALID_DATA;
        failing.delayUs = static_cast<int>(rng() % 400);
        opening.delayUs = static_cast<int>(rng() % 400);
        nextReader = nullptr;
        auto a = stream::makeWindowsMediaStream(&createScripted);
        auto b = stream::makeWindowsMediaStream(&createScripted);
        bool playedA = true;
        bool playedB = false;
        std::thread first([&] {
            nextReader = &failing;
            playedA = a->play("a.wma", 1, nullptr, device_.get());
        });
        std::thread second([&] {
            nextReader = &opening;
            playedB = b->play("b.wma", 1, nullptr, device_.get());
        });
        first.join();
        second.join();
        EXPECT_FALSE(playedA) << "round " << round;
        EXPECT_TRUE(playedB) << "round " << round;
        ASSERT_TRUE(b->hasReader());

        // Two closes at once: each waits for its own reader's closed status.
        ScriptedReader other;
        other.delayUs = static_cast<int>(rng() % 400);
        auto c = stream::makeWindowsMediaStream(&createScripted);
        nextReader = &other;
        ASSERT_TRUE(c->play("c.wma", 1, nullptr, device_.get()));
        std::thread closeB([&] { b->shutdown(); });
        std::thread closeC([&] { c->shutdown(); });
        closeB.join();
        closeC.join();
        EXPECT_TRUE(opening.released() && other.released()) << "round " << round;
    }
}

}  // namespace
}  // namespace orvox::test
