#include "platform/Clock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <limits>
#include <string>
#include <thread>
#include <vector>

using namespace fota;
using namespace std::chrono_literals;

namespace {

std::int64_t ms(Duration d) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(d).count();
}

TEST(VirtualClock, SleepJumpsToTheDeadlineWithoutRealWaiting) {
    VirtualClock clock;
    const auto wallStart = std::chrono::steady_clock::now();
    EXPECT_EQ(clock.sleepFor(31700ms), WaitResult::Timeout);
    EXPECT_EQ(ms(clock.now()), 31700);
    EXPECT_LT(std::chrono::steady_clock::now() - wallStart, 1s);
    EXPECT_EQ(clock.wallNow() - VirtualClock::defaultEpoch(), 31700ms);
}

// Threads sleeping different periods interleave in time order, and the
// interleaving is the same on every run.
TEST(VirtualClock, SleepersWakeInDeadlineOrderDeterministically) {
    auto runOnce = [] {
        VirtualClock clock;
        std::vector<std::string> trace;  // only one enrolled thread runs at a time
        {
            ClockThread a(clock, "a", [&](std::stop_token st) {
                for (int i = 0; i < 4; ++i) {
                    clock.sleepFor(500ms, st);
                    trace.push_back("a@" + std::to_string(ms(clock.now())));
                }
            });
            ClockThread b(clock, "b", [&](std::stop_token st) {
                for (int i = 0; i < 7; ++i) {
                    clock.sleepFor(300ms, st);
                    trace.push_back("b@" + std::to_string(ms(clock.now())));
                }
            });
            a.join();
            b.join();
        }
        return trace;
    };
    const auto first = runOnce();
    const std::vector<std::string> expected = {"b@300",  "a@500",  "b@600",  "b@900",
                                               "a@1000", "b@1200", "a@1500", "b@1500",
                                               "b@1800", "a@2000", "b@2100"};
    EXPECT_EQ(first, expected);
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(runOnce(), first);
    }
}

TEST(VirtualClock, StopRequestEndsASleepAtOnce) {
    VirtualClock clock;
    WaitResult result = WaitResult::Ready;
    Duration wokeAt{};
    ClockThread sleeper(clock, "sleeper", [&](std::stop_token st) {
        result = clock.sleepFor(3600s, st);
        wokeAt = clock.now();
    });
    clock.sleepFor(700ms);
    sleeper.requestStop();
    sleeper.join();
    EXPECT_EQ(result, WaitResult::Stopped);
    EXPECT_EQ(ms(wokeAt), 700);
}

TEST(VirtualClock, WaiterWakesWhenAnotherThreadMakesItReady) {
    VirtualClock clock;
    std::atomic<bool> flag{false};
    Duration sawAt{};
    WaitResult result{};
    ClockThread waiter(clock, "waiter", [&](std::stop_token st) {
        result = clock.waitFor(
            10s, [&] { return flag.load(); }, st);
        sawAt = clock.now();
    });
    ClockThread setter(clock, "setter", [&](std::stop_token st) {
        clock.sleepFor(1234ms, st);
        flag = true;
        clock.notify();
    });
    waiter.join();
    setter.join();
    EXPECT_EQ(result, WaitResult::Ready);
    EXPECT_EQ(ms(sawAt), 1234);
}

TEST(VirtualClock, WaitTimesOutAtItsDeadline) {
    VirtualClock clock;
    EXPECT_EQ(clock.waitFor(2s, [] { return false; }), WaitResult::Timeout);
    EXPECT_EQ(ms(clock.now()), 2000);
    EXPECT_EQ(clock.waitFor(2s, [] { return true; }), WaitResult::Ready);
    EXPECT_EQ(ms(clock.now()), 2000);
}

TEST(VirtualClock, StallIsReportedInsteadOfHanging) {
    VirtualClock clock;
    std::string report;
    clock.setStallHandler([&](const std::string& what) { report = what; });
    std::atomic<bool> never{false};
    std::stop_source stop;
    // Nothing else runs and nothing has a deadline: the handler is told, and a
    // stop request then lets the wait end.
    ClockThread t(clock, "stuck", [&](std::stop_token st) {
        clock.waitUntil(
            kForever, [&] { return never.load(); }, st);
    });
    clock.waitUntil(kForever, [&] { return !report.empty(); });
    EXPECT_NE(report.find("stalled"), std::string::npos);
}

TEST(RealClock, SleepAndStopOnTheMachineClock) {
    RealClock clock;
    const Duration before = clock.now();
    EXPECT_EQ(clock.sleepFor(20ms), WaitResult::Timeout);
    EXPECT_GE(clock.now() - before, 20ms);

    WaitResult result{};
    ClockThread sleeper(clock, "sleeper",
                        [&](std::stop_token st) { result = clock.sleepFor(3600s, st); });
    sleeper.requestStop();
    sleeper.join();
    EXPECT_EQ(result, WaitResult::Stopped);
}

TEST(RealClock, RunsFasterWhenAsked) {
    RealClock clock(100.0);
    const auto wallStart = std::chrono::steady_clock::now();
    clock.sleepFor(2s);  // 20 ms of real time
    EXPECT_LT(std::chrono::steady_clock::now() - wallStart, 1s);
    EXPECT_GE(clock.now(), 2s);
}

TEST(RealClock, AFactorOutsideItsRangeRunsAtRealTimeAndFarDeadlinesStayInRange) {
    for (const double speed : {0.0, -1.0, 1e-300, 1e300, std::numeric_limits<double>::infinity(),
                               std::numeric_limits<double>::quiet_NaN()}) {
        SCOPED_TRACE(speed);
        EXPECT_EQ(RealClock(speed).speed(), 1.0);
    }
    // The slowest factor turns a deadline of centuries into a far longer real
    // wait; the wait must still start (and end when stopped).
    RealClock slow(RealClock::kMinSpeed);
    WaitResult result{};
    ClockThread sleeper(slow, "sleeper", [&](std::stop_token st) {
        result = slow.waitUntil(Duration(std::numeric_limits<Duration::rep>::max() / 2), {}, st);
    });
    std::this_thread::sleep_for(10ms);
    sleeper.requestStop();
    sleeper.join();
    EXPECT_EQ(result, WaitResult::Stopped);
}

}  // namespace
