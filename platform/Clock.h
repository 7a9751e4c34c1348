#pragma once
// The one time base of the program. Every pause, poll and timer goes through a
// Clock: the real clock in the programs, a virtual clock in tests.
//
// Threads that take part in the clock's time are started with ClockThread (or,
// for the thread that creates a VirtualClock, are enrolled automatically).
// Under the virtual clock exactly one enrolled thread runs at a time; when it
// waits, the next thread that can go on runs, in enrolment order, and when none
// can, time jumps to the earliest deadline. A whole upgrade therefore runs in
// virtual time, deterministically, as fast as the machine allows.
//
// Rules for code that waits:
//  - wait only through Clock::waitUntil/waitFor/sleepFor (never sleep or block
//    on a condition variable of your own while enrolled);
//  - after changing anything a waiter's ready() reads, call Clock::notify();
//  - ready() runs under the clock's lock: it reads state and returns, nothing more;
//  - join enrolled threads with ClockThread::join (or Clock::blockOutside).

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>

namespace fota {

using Duration = std::chrono::nanoseconds;
using std::chrono::milliseconds;
using std::chrono::seconds;

// A deadline that never comes.
inline constexpr Duration kForever = Duration::max();

enum class WaitResult {
    Ready,    // ready() became true
    Timeout,  // the deadline was reached
    Stopped,  // the stop token was triggered
};

class Clock {
public:
    virtual ~Clock() = default;
    Clock() = default;
    Clock(const Clock&) = delete;
    Clock& operator=(const Clock&) = delete;

    // Time since the clock started.
    virtual Duration now() const = 0;
    // Calendar time for time stamps (derived from now() under the virtual clock).
    virtual std::chrono::system_clock::time_point wallNow() const = 0;

    // Blocks until ready() is true, now() reaches deadline, or stop is requested;
    // checked in that order, before the first block too. ready may be empty.
    virtual WaitResult waitUntil(Duration deadline, const std::function<bool()>& ready,
                                 std::stop_token stop = {}) = 0;

    WaitResult waitFor(Duration timeout, const std::function<bool()>& ready,
                       std::stop_token stop = {});
    // A plain pause: Timeout when it ran out, Stopped when a stop request ended it.
    WaitResult sleepFor(Duration d, std::stop_token stop = {});

    // Tells waiters that state their ready() reads has changed. Any thread.
    virtual void notify() = 0;

    // Runs fn, a short blocking call such as joining a thread whose body has
    // ended, without holding the clock: under the virtual clock no other
    // enrolled thread runs and time stands still until fn returns, so fn must
    // not need another enrolled thread to make progress.
    virtual void blockOutside(const std::function<void()>& fn) { fn(); }

    // True when the calling thread may wait on this clock.
    virtual bool canWait() const { return true; }

    // Enrolment of a new thread; used by ClockThread.
    struct Ticket {
        std::uint64_t id = 0;
    };
    virtual Ticket enrol() { return {}; }
    virtual void enter(Ticket) {}
    virtual void leave() {}
};

// The machine's monotonic clock, optionally running `speed` times faster than
// real time (the simulated world of a demo). The factor is held to
// [kMinSpeed, kMaxSpeed]; anything else (zero, negative, not a number) runs
// at real time.
class RealClock final : public Clock {
public:
    static constexpr double kMinSpeed = 1e-3;
    static constexpr double kMaxSpeed = 1e3;

    explicit RealClock(double speed = 1.0);
    Duration now() const override;
    std::chrono::system_clock::time_point wallNow() const override;
    WaitResult waitUntil(Duration deadline, const std::function<bool()>& ready,
                         std::stop_token stop = {}) override;
    void notify() override;
    double speed() const { return speed_; }

private:
    std::chrono::steady_clock::time_point toSteady(Duration d) const;

    double speed_;
    std::chrono::steady_clock::time_point start_;
    std::chrono::system_clock::time_point wallStart_;
    std::mutex mutex_;
    std::condition_variable cv_;
};

// Virtual time for tests and simulations. The thread that constructs it is
// enrolled and holds the first turn; it must not block outside the clock while
// other enrolled threads need to run.
class VirtualClock final : public Clock {
public:
    // wallEpoch: the calendar time at virtual time 0.
    explicit VirtualClock(std::chrono::system_clock::time_point wallEpoch = defaultEpoch());
    ~VirtualClock() override;

    Duration now() const override;
    std::chrono::system_clock::time_point wallNow() const override;
    WaitResult waitUntil(Duration deadline, const std::function<bool()>& ready,
                         std::stop_token stop = {}) override;
    void notify() override;
    void blockOutside(const std::function<void()>& fn) override;
    bool canWait() const override;
    Ticket enrol() override;
    void enter(Ticket) override;
    void leave() override;

    // Called (under no lock) when every enrolled thread waits without a
    // deadline and none can go on. The default prints the state and aborts.
    void setStallHandler(std::function<void(const std::string&)> handler);

    static std::chrono::system_clock::time_point defaultEpoch();

private:
    struct Participant {
        std::uint64_t id = 0;
        enum class Mode { Starting, Running, Waiting, Outside, Resuming } mode = Mode::Starting;
        Duration deadline = kForever;
        const std::function<bool()>* ready = nullptr;
        std::stop_token stop;
        WaitResult result = WaitResult::Ready;
    };

    Participant& self();
    void dispatch(std::unique_lock<std::mutex>& lock);
    void awaitTurn(std::unique_lock<std::mutex>& lock, Participant& p);

    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::map<std::uint64_t, Participant> participants_;  // ordered: enrolment order
    std::uint64_t nextId_ = 1;
    std::uint64_t holder_ = 0;  // 0: nobody holds the turn
    Duration now_{0};
    std::chrono::system_clock::time_point wallEpoch_;
    std::function<void(const std::string&)> stallHandler_;
    std::uint64_t mainId_ = 0;
};

// A thread that takes part in a clock's time. Its body receives a stop token
// that every clock wait of the body should be given. The destructor requests
// stop and joins.
class ClockThread {
public:
    ClockThread() = default;
    ClockThread(Clock& clock, std::string name, std::function<void(std::stop_token)> body);
    ~ClockThread();
    ClockThread(ClockThread&&) = delete;
    ClockThread& operator=(ClockThread&&) = delete;

    void requestStop();
    bool stopRequested() const;
    std::stop_source stopSource() const { return stop_; }
    // Waits for the body to end (through the clock, so other threads go on).
    void join();
    bool joinable() const { return thread_.joinable(); }
    bool finished() const;

private:
    Clock* clock_ = nullptr;
    std::stop_source stop_;
    std::atomic<bool> done_{false};
    std::thread thread_;
};

// Names the calling thread for debuggers (cut to the platform's limit).
void setCurrentThreadName(const std::string& name);

}  // namespace fota
