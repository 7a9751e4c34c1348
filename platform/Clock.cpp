#include "platform/Clock.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <stdexcept>

#if defined(__linux__)
#include <pthread.h>
#endif

namespace fota {

namespace {
// The participant the current thread is, per virtual clock (a thread may be
// enrolled in one clock at a time).
thread_local const VirtualClock* tlsClock = nullptr;
thread_local std::uint64_t tlsId = 0;
}  // namespace

WaitResult Clock::waitFor(Duration timeout, const std::function<bool()>& ready,
                          std::stop_token stop) {
    const Duration start = now();
    const Duration deadline = (timeout >= kForever - start) ? kForever : start + timeout;
    return waitUntil(deadline, ready, std::move(stop));
}

WaitResult Clock::sleepFor(Duration d, std::stop_token stop) {
    static const std::function<bool()> never;
    return waitFor(d, never, std::move(stop));
}

// ---------------------------------------------------------------- RealClock

RealClock::RealClock(double speed)
    : speed_(speed >= kMinSpeed && speed <= kMaxSpeed ? speed : 1.0),
      start_(std::chrono::steady_clock::now()),
      wallStart_(std::chrono::system_clock::now()) {}

Duration RealClock::now() const {
    const auto real = std::chrono::steady_clock::now() - start_;
    if (speed_ == 1.0) {
        return std::chrono::duration_cast<Duration>(real);
    }
    return Duration(static_cast<Duration::rep>(static_cast<double>(real.count()) * speed_));
}

std::chrono::system_clock::time_point RealClock::wallNow() const {
    if (speed_ == 1.0) {
        return std::chrono::system_clock::now();
    }
    return wallStart_ + std::chrono::duration_cast<std::chrono::system_clock::duration>(now());
}

std::chrono::steady_clock::time_point RealClock::toSteady(Duration d) const {
    // A deadline decades away is as good as one a century away, and keeps
    // the conversion inside the steady clock's range.
    constexpr double kFarthest = 1e18;  // ns, about 31 years
    const double real = std::min(static_cast<double>(d.count()) / speed_, kFarthest);
    return start_ + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                        std::chrono::duration<double, std::nano>(real));
}

WaitResult RealClock::waitUntil(Duration deadline, const std::function<bool()>& ready,
                                std::stop_token stop) {
    std::stop_callback wake(stop, [this] { notify(); });
    std::unique_lock lock(mutex_);
    for (;;) {
        if (ready && ready()) {
            return WaitResult::Ready;
        }
        if (stop.stop_requested()) {
            return WaitResult::Stopped;
        }
        if (now() >= deadline) {
            return WaitResult::Timeout;
        }
        if (deadline == kForever) {
            cv_.wait(lock);
        } else {
            cv_.wait_until(lock, toSteady(deadline));
        }
    }
}

void RealClock::notify() {
    std::lock_guard lock(mutex_);
    cv_.notify_all();
}

// ------------------------------------------------------------- VirtualClock

std::chrono::system_clock::time_point VirtualClock::defaultEpoch() {
    // 2026-01-05 08:00:00 UTC: a fixed calendar start keeps time stamps repeatable.
    return std::chrono::system_clock::time_point(std::chrono::seconds(1767600000));
}

VirtualClock::VirtualClock(std::chrono::system_clock::time_point wallEpoch)
    : wallEpoch_(wallEpoch) {
    std::lock_guard lock(mutex_);
    mainId_ = nextId_++;
    Participant& p = participants_[mainId_];
    p.id = mainId_;
    p.mode = Participant::Mode::Running;
    holder_ = mainId_;
    tlsClock = this;
    tlsId = mainId_;
}

VirtualClock::~VirtualClock() {
    if (tlsClock == this) {
        tlsClock = nullptr;
        tlsId = 0;
    }
}

Duration VirtualClock::now() const {
    std::lock_guard lock(mutex_);
    return now_;
}

std::chrono::system_clock::time_point VirtualClock::wallNow() const {
    return wallEpoch_ + std::chrono::duration_cast<std::chrono::system_clock::duration>(now());
}

void VirtualClock::setStallHandler(std::function<void(const std::string&)> handler) {
    std::lock_guard lock(mutex_);
    stallHandler_ = std::move(handler);
}

VirtualClock::Participant& VirtualClock::self() {
    if (tlsClock != this) {
        throw std::logic_error("VirtualClock: waiting from a thread that is not enrolled");
    }
    return participants_.at(tlsId);
}

WaitResult VirtualClock::waitUntil(Duration deadline, const std::function<bool()>& ready,
                                   std::stop_token stop) {
    std::stop_callback wake(stop, [this] { notify(); });
    std::unique_lock lock(mutex_);
    Participant& p = self();
    if (holder_ != p.id) {
        throw std::logic_error("VirtualClock: a thread waits without holding its turn");
    }
    if (ready && ready()) {
        return WaitResult::Ready;
    }
    if (stop.stop_requested()) {
        return WaitResult::Stopped;
    }
    if (now_ >= deadline) {
        return WaitResult::Timeout;
    }
    p.mode = Participant::Mode::Waiting;
    p.deadline = deadline;
    p.ready = ready ? &ready : nullptr;
    p.stop = stop;
    holder_ = 0;
    dispatch(lock);
    awaitTurn(lock, p);
    p.ready = nullptr;
    p.stop = {};
    return p.result;
}

void VirtualClock::awaitTurn(std::unique_lock<std::mutex>& lock, Participant& p) {
    cv_.wait(lock, [&] { return holder_ == p.id; });
    p.mode = Participant::Mode::Running;
}

void VirtualClock::dispatch(std::unique_lock<std::mutex>& lock) {
    // While a thread is outside the clock nobody else runs and time stands
    // still: the order of events must not depend on how long it takes out there.
    for (const auto& [id, p] : participants_) {
        if (p.mode == Participant::Mode::Outside) {
            return;
        }
    }
    bool stallReported = false;
    for (;;) {
        bool anyOutside = false;
        Duration earliest = kForever;
        for (auto& [id, p] : participants_) {
            using Mode = Participant::Mode;
            switch (p.mode) {
                case Mode::Starting:
                case Mode::Resuming:
                    p.result = WaitResult::Ready;
                    holder_ = id;
                    cv_.notify_all();
                    return;
                case Mode::Waiting:
                    if (p.ready && (*p.ready)()) {
                        p.result = WaitResult::Ready;
                    } else if (p.stop.stop_requested()) {
                        p.result = WaitResult::Stopped;
                    } else if (now_ >= p.deadline) {
                        p.result = WaitResult::Timeout;
                    } else {
                        earliest = std::min(earliest, p.deadline);
                        continue;
                    }
                    holder_ = id;
                    cv_.notify_all();
                    return;
                case Mode::Outside:
                    anyOutside = true;
                    break;
                case Mode::Running:
                    break;
            }
        }
        if (anyOutside || participants_.empty()) {
            // Time stands still until the thread outside comes back: what it
            // does out there must not race the virtual clock.
            return;
        }
        if (earliest != kForever) {
            now_ = earliest;  // nothing can go on now: jump to the next deadline
            continue;
        }
        std::ostringstream what;
        what << "virtual clock stalled at " << now_.count() / 1000000
             << " ms: every thread waits without a deadline (" << participants_.size()
             << " enrolled)";
        if (stallReported) {
            return;  // the handler changed nothing that lets a thread go on
        }
        stallReported = true;
        auto handler = stallHandler_;
        lock.unlock();
        if (handler) {
            handler(what.str());
        } else {
            std::fprintf(stderr, "%s\n", what.str().c_str());
            std::abort();
        }
        lock.lock();
    }
}

void VirtualClock::notify() {
    std::unique_lock lock(mutex_);
    if (holder_ == 0) {
        dispatch(lock);
    }
}

void VirtualClock::blockOutside(const std::function<void()>& fn) {
    std::unique_lock lock(mutex_);
    if (tlsClock != this) {
        lock.unlock();
        fn();
        return;
    }
    Participant& p = participants_.at(tlsId);
    p.mode = Participant::Mode::Outside;
    holder_ = 0;
    dispatch(lock);
    lock.unlock();
    fn();
    lock.lock();
    p.mode = Participant::Mode::Resuming;
    if (holder_ == 0) {
        dispatch(lock);
    }
    awaitTurn(lock, p);
}

bool VirtualClock::canWait() const {
    return tlsClock == this;
}

Clock::Ticket VirtualClock::enrol() {
    std::lock_guard lock(mutex_);
    const std::uint64_t id = nextId_++;
    Participant& p = participants_[id];
    p.id = id;
    p.mode = Participant::Mode::Starting;
    return Ticket{id};
}

void VirtualClock::enter(Ticket ticket) {
    std::unique_lock lock(mutex_);
    tlsClock = this;
    tlsId = ticket.id;
    Participant& p = participants_.at(ticket.id);
    if (holder_ == 0) {
        dispatch(lock);
    }
    awaitTurn(lock, p);
}

void VirtualClock::leave() {
    std::unique_lock lock(mutex_);
    if (tlsClock != this) {
        return;
    }
    participants_.erase(tlsId);
    if (holder_ == tlsId) {
        holder_ = 0;
    }
    tlsClock = nullptr;
    tlsId = 0;
    if (holder_ == 0) {
        dispatch(lock);
    }
}

// -------------------------------------------------------------- ClockThread

ClockThread::ClockThread(Clock& clock, std::string name, std::function<void(std::stop_token)> body)
    : clock_(&clock) {
    const Clock::Ticket ticket = clock.enrol();
    thread_ = std::thread([this, ticket, name = std::move(name), body = std::move(body)] {
        setCurrentThreadName(name);
        clock_->enter(ticket);
        body(stop_.get_token());
        done_ = true;
        clock_->notify();
        clock_->leave();
    });
}

ClockThread::~ClockThread() {
    if (thread_.joinable()) {
        requestStop();
        join();
    }
}

void ClockThread::requestStop() {
    stop_.request_stop();
}

bool ClockThread::stopRequested() const {
    return stop_.stop_requested();
}

bool ClockThread::finished() const {
    return done_;
}

void ClockThread::join() {
    if (!thread_.joinable()) {
        return;
    }
    if (thread_.get_id() == std::this_thread::get_id()) {
        thread_.detach();  // a body that ends its own thread object
        return;
    }
    // Wait in clock time for the body to end, then join the thread, which by
    // then only leaves the clock.
    if (clock_->canWait()) {
        clock_->waitUntil(kForever, [this] { return done_.load(); });
    }
    clock_->blockOutside([this] { thread_.join(); });
}

void setCurrentThreadName(const std::string& name) {
#if defined(__linux__)
    // Linux keeps 15 characters and the terminator.
    const std::string cut = name.substr(0, 15);
    pthread_setname_np(pthread_self(), cut.c_str());
#else
    (void)name;
#endif
}

}  // namespace fota
