#include "platform/EventLoop.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace fota;
using namespace std::chrono_literals;

namespace {

TEST(EventLoop, TimersFireOnTheirPeriodsInVirtualTime) {
    VirtualClock clock;
    EventLoop loop(clock);
    std::vector<std::string> trace;
    auto stamp = [&](const char* what) {
        trace.push_back(
            std::string(what) + "@" +
            std::to_string(
                std::chrono::duration_cast<std::chrono::milliseconds>(clock.now()).count()));
    };
    loop.addTimer(300ms, [&] { stamp("pump"); });
    const auto poll = loop.addTimer(
        1000ms, [&] { stamp("poll"); }, false);
    loop.addTimer(1000ms, [&] { loop.setTimerEnabled(poll, true); });
    loop.runUntil({}, 2200ms);
    const std::vector<std::string> expected = {"pump@300",  "pump@600",  "pump@900",  "pump@1200",
                                               "pump@1500", "pump@1800", "poll@2000", "pump@2100"};
    EXPECT_EQ(trace, expected);
}

TEST(EventLoop, TasksPostedFromAnotherThreadRunOnTheLoopThread) {
    VirtualClock clock;
    EventLoop loop(clock);
    const auto loopThread = std::this_thread::get_id();
    std::vector<int> seen;
    bool onLoopThread = true;
    ClockThread worker(clock, "worker", [&](std::stop_token st) {
        for (int i = 1; i <= 3; ++i) {
            clock.sleepFor(500ms, st);
            loop.post([&, i] {
                onLoopThread = onLoopThread && std::this_thread::get_id() == loopThread;
                seen.push_back(i);
            });
        }
        loop.post([&] { loop.quit(7); });
    });
    EXPECT_EQ(loop.run(), 7);
    worker.join();
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 3}));
    EXPECT_TRUE(onLoopThread);
    EXPECT_EQ(clock.now(), 1500ms);
}

}  // namespace
