#include "platform/EventLoop.h"

#include <algorithm>

namespace fota {

EventLoop::TimerId EventLoop::addTimer(Duration interval, std::function<void()> fn, bool enabled) {
    const TimerId id = nextTimer_++;
    Timer& t = timers_[id];
    t.interval = interval;
    t.fn = std::move(fn);
    setTimerEnabled(id, enabled);
    return id;
}

void EventLoop::setTimerEnabled(TimerId id, bool enabled) {
    auto it = timers_.find(id);
    if (it == timers_.end()) {
        return;
    }
    if (enabled && !it->second.enabled) {
        it->second.due = clock_.now() + it->second.interval;
    }
    it->second.enabled = enabled;
}

bool EventLoop::timerEnabled(TimerId id) const {
    auto it = timers_.find(id);
    return it != timers_.end() && it->second.enabled;
}

void EventLoop::post(std::function<void()> fn) {
    {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(fn));
    }
    clock_.notify();
}

void EventLoop::quit(int code) {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
        exitCode_ = code;
    }
    clock_.notify();
}

bool EventLoop::quitting() const {
    std::lock_guard lock(mutex_);
    return quit_;
}

bool EventLoop::runOne() {
    std::function<void()> task;
    {
        std::lock_guard lock(mutex_);
        if (!tasks_.empty()) {
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
    }
    if (task) {
        task();
        return true;
    }
    // The earliest due timer, ties by creation order.
    const Duration now = clock_.now();
    TimerId best = 0;
    for (auto& [id, t] : timers_) {
        if (t.enabled && t.due <= now && (best == 0 || t.due < timers_[best].due)) {
            best = id;
        }
    }
    if (best == 0) {
        return false;
    }
    Timer& t = timers_[best];
    // One tick per due time; a loop that was blocked catches up with one tick.
    t.due = std::max(t.due + t.interval, now);
    auto fn = t.fn;  // the handler may remove or re-arm timers
    fn();
    return true;
}

bool EventLoop::runUntil(const std::function<bool()>& done, Duration timeout) {
    const Duration start = clock_.now();
    const Duration end = (timeout >= kForever - start) ? kForever : start + timeout;
    for (;;) {
        if (done && done()) {
            return true;
        }
        if (quitting() || clock_.now() >= end) {
            return false;
        }
        if (runOne()) {
            continue;
        }
        Duration next = end;
        for (auto& [id, t] : timers_) {
            if (t.enabled) {
                next = std::min(next, t.due);
            }
        }
        // Wake for posted tasks, quit, or the caller's condition.
        clock_.waitUntil(next, [&] {
            std::lock_guard lock(mutex_);
            return !tasks_.empty() || quit_ || (done && done());
        });
    }
}

int EventLoop::run() {
    runUntil({}, kForever);
    std::lock_guard lock(mutex_);
    return exitCode_;
}

}  // namespace fota
