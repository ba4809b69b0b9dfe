// The timer service under the real clock (null output).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include <plat/a5platform.h>
#include <plat/mmsystem.h>

namespace {

struct Counter {
    std::atomic<int> calls{0};
    std::atomic<UINT> lastId{0};
    std::atomic<bool> inside{false};
    std::atomic<bool> afterKill{false};
    std::atomic<bool> killed{false};
    int sleepMs = 0;
};

void count(UINT id, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
    auto* c = reinterpret_cast<Counter*>(user);
    c->inside = true;
    if (c->killed) c->afterKill = true;
    c->lastId = id;
    ++c->calls;
    if (c->sleepMs) std::this_thread::sleep_for(std::chrono::milliseconds(c->sleepMs));
    c->inside = false;
}

TEST(Timers, PeriodicTimerRunsAtItsRateWithItsIdentifier) {
    Counter c;
    UINT id = timeSetEvent(10, 1, &count, reinterpret_cast<DWORD_PTR>(&c), TIME_PERIODIC);
    ASSERT_NE(id, 0u);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(timeKillEvent(id), TIMERR_NOERROR);
    EXPECT_NEAR(c.calls.load(), 50, 15);
    EXPECT_EQ(c.lastId.load(), id);
    EXPECT_NE(timeKillEvent(id), TIMERR_NOERROR) << "a second kill finds nothing";
}

TEST(Timers, NoCallbackBeginsAfterAKillFromAnotherThreadReturns) {
    Counter c;
    c.sleepMs = 20;
    UINT id = timeSetEvent(1, 1, &count, reinterpret_cast<DWORD_PTR>(&c), TIME_PERIODIC);
    while (!c.inside) std::this_thread::yield();
    timeKillEvent(id);
    EXPECT_FALSE(c.inside.load()) << "the kill waited for the running callback";
    c.killed = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    EXPECT_FALSE(c.afterKill.load());
}

struct SelfKill {
    std::atomic<UINT> id{0};
    std::atomic<int> calls{0};
    std::atomic<MMRESULT> result{99};
};

void killSelf(UINT, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
    auto* s = reinterpret_cast<SelfKill*>(user);
    while (s->id == 0) std::this_thread::yield();
    ++s->calls;
    s->result = timeKillEvent(s->id);  // must not wait for itself
}

TEST(Timers, ACallbackKillsItsOwnTimerWithoutWaiting) {
    SelfKill s;
    s.id = timeSetEvent(5, 1, &killSelf, reinterpret_cast<DWORD_PTR>(&s), TIME_PERIODIC);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(s.calls.load(), 1);
    EXPECT_EQ(s.result.load(), TIMERR_NOERROR);
}

TEST(Timers, ManyTimersRunTogetherAndOneShotsRunOnce) {
    std::vector<Counter> counters(40);
    std::vector<UINT> ids;
    for (size_t i = 0; i < counters.size(); ++i)
        ids.push_back(timeSetEvent(5 + UINT(i % 7), 1, &count, reinterpret_cast<DWORD_PTR>(&counters[i]),
                                   i % 4 == 0 ? TIME_ONESHOT : TIME_PERIODIC));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    for (size_t i = 0; i < counters.size(); ++i) {
        if (i % 4 == 0) {
            EXPECT_EQ(counters[i].calls.load(), 1) << i;
        } else {
            EXPECT_GT(counters[i].calls.load(), 5) << i;
            EXPECT_EQ(timeKillEvent(ids[i]), TIMERR_NOERROR);
        }
    }
    a5p_fail_timer_creations(1);
    EXPECT_EQ(timeSetEvent(5, 1, &count, 0, TIME_PERIODIC), 0u);
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    A5PlatformConfig config{A5_OUTPUT_NULL, nullptr, 44100, 2, 0, 0};
    if (a5p_configure(&config) != 0) return 2;
    int result = RUN_ALL_TESTS();
    a5p_shutdown();
    return result;
}
