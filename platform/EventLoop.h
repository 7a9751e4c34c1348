#pragma once
// The UI thread's loop for the terminal program and the tests: timers and
// tasks posted from other threads, all run on the thread that calls run().
// (The window program uses Qt's own loop with the real clock instead.)

#include <deque>
#include <functional>
#include <map>
#include <mutex>

#include "platform/Clock.h"

namespace fota {

class EventLoop {
public:
    using TimerId = int;

    explicit EventLoop(Clock& clock) : clock_(clock) {}

    Clock& clock() { return clock_; }

    // A timer that calls fn every interval while enabled; enabling it (again)
    // starts the interval from now.
    TimerId addTimer(Duration interval, std::function<void()> fn, bool enabled = true);
    void setTimerEnabled(TimerId id, bool enabled);
    bool timerEnabled(TimerId id) const;

    // Runs fn on the loop's thread, before any timer that is due. Any thread.
    void post(std::function<void()> fn);

    // Runs tasks and timers until quit(). Returns the code given to quit().
    int run();
    // Runs tasks and timers until done() is true, quit() is called or
    // `timeout` of clock time has passed. Returns true when done() held.
    bool runUntil(const std::function<bool()>& done, Duration timeout = kForever);
    // Any thread.
    void quit(int code = 0);
    bool quitting() const;

private:
    struct Timer {
        Duration interval{};
        Duration due{};
        bool enabled = false;
        std::function<void()> fn;
    };

    // Runs what is ready now; false when nothing was.
    bool runOne();

    Clock& clock_;
    mutable std::mutex mutex_;  // guards tasks_ and quit_
    std::deque<std::function<void()>> tasks_;
    bool quit_ = false;
    int exitCode_ = 0;
    std::map<TimerId, Timer> timers_;  // loop thread only
    TimerId nextTimer_ = 1;
};

}  // namespace fota
