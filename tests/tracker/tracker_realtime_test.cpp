// The tracker on the real clock: the refill and fade timers run on the timer thread while
// this thread changes volume, fades, pauses, replaces and stops modules. Meant for the
// thread sanitizer as much as for the outcome.
#include "tracker_fixture.h"

#include <mikmod.h>

#include <chrono>
#include <thread>

namespace orvox::tracker::test {
namespace {

class TrackerRealtime : public TrackerTest {
protected:
    bool virtualClock() const override { return false; }
};

TEST_F(TrackerRealtime, ControlsRaceTheRefillAndFadeTimersSafely) {
    const std::string modules[] = {file("a.mod", mod31()), file("b.xm", xm()), file("c.s3m", s3m())};
    Capture capture;
    ASSERT_TRUE(play(modules[0]));
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(2500);
    for (int step = 0; std::chrono::steady_clock::now() < end; ++step) {
        switch (step % 7) {
            case 0: setVolume(step % 101); break;
            case 1: startFade(40, step % 2 == 0); break;
            case 2: togglePause(); break;
            case 3: togglePause(); break;
            case 4: ASSERT_TRUE(loadAndStart(modules[step % 3].c_str())); break;
            case 5:
                if (step % 5 == 0) stop();
                bringUp();
                break;
            default:
                if (!isActive()) {
                    ASSERT_TRUE(loadAndStart(modules[1].c_str()));
                }
                break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(7));
    }
    if (!isActive()) {
        ASSERT_TRUE(loadAndStart(modules[1].c_str()));
    }
    setVolume(100);
    if (Player_Paused()) togglePause();
    capture.take();
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    EXPECT_TRUE(audible(capture.take()));
}

}  // namespace
}  // namespace orvox::tracker::test
