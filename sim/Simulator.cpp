#include "sim/Simulator.h"

#include <array>

namespace fota::sim {

namespace {
// How often a stick whose program closed the in-process line looks for a new
// end; a reset sent after reopening is answered at most this much later.
constexpr Duration kReopenPoll = std::chrono::milliseconds(2);
}  // namespace

Simulator::Simulator(Clock& clock, ant::InProcessLine& line, SimConfig config)
    : Simulator(clock, line.stickEnd(), std::move(config), [&line] { line.unplug(); }) {
    line_ = &line;
}

Simulator::Simulator(Clock& clock, std::unique_ptr<ant::ByteTransport> transport, SimConfig config,
                     std::function<void()> unplug)
    : clock_(clock),
      transport_(std::move(transport)),
      unplug_(std::move(unplug)),
      stick_(std::move(config)) {
    thread_ = std::make_unique<ClockThread>(clock_, "sim-stick",
                                            [this](std::stop_token stop) { run(stop); });
}

Simulator::~Simulator() {
    stop();
    transport_->close();
}

void Simulator::stop() {
    if (thread_) {
        thread_->requestStop();
        thread_->join();
    }
}

bool Simulator::running() const {
    return thread_ && !thread_->finished();
}

bool Simulator::lineGone() const {
    return line_ == nullptr || line_->unplugged();
}

bool Simulator::idleUntilReopened(std::stop_token stop) {
    stick_.onLineClosed(clock_.now());
    for (;;) {
        // The next read fails at once while the program's end stays closed.
        if (clock_.sleepFor(kReopenPoll, stop) == WaitResult::Stopped) {
            return false;
        }
        stick_.advanceTo(clock_.now());
        stick_.takeOutput();  // nobody listens
        if (lineGone() || stick_.unplugRequested()) {
            return false;
        }
        std::array<std::uint8_t, 1> probe{};
        const long n = transport_->read(probe, stop, clock_.now());
        if (n > 0) {
            stick_.onHostBytes(std::span(probe.data(), 1), clock_.now());
            return true;
        }
        if (n == 0 && !stop.stop_requested()) {
            return true;  // open again, nothing sent yet
        }
    }
}

bool Simulator::goesOnAfterLineFailure(std::stop_token stop, Duration now) {
    if (lineGone()) {
        stick_.onLineLost(now);
        return false;
    }
    return idleUntilReopened(stop);
}

void Simulator::run(std::stop_token stop) {
    std::array<std::uint8_t, 4096> buffer{};
    while (!stop.stop_requested()) {
        const long n = transport_->read(buffer, stop, stick_.nextEventTime());
        const Duration now = clock_.now();
        if (n < 0) {
            if (!goesOnAfterLineFailure(stop, now)) {
                return;
            }
            continue;
        }
        if (n > 0) {
            stick_.onHostBytes(std::span(buffer.data(), static_cast<std::size_t>(n)), now);
        } else {
            stick_.advanceTo(now);
        }
        const std::vector<std::uint8_t> out = stick_.takeOutput();
        if (!out.empty() && !transport_->write(out)) {
            if (!goesOnAfterLineFailure(stop, now)) {
                return;
            }
            continue;
        }
        if (stick_.unplugRequested()) {
            if (unplug_) {
                unplug_();
            } else {
                transport_->close();
            }
            return;
        }
    }
}

}  // namespace fota::sim
