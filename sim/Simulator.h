#pragma once
// A simulated stick plugged into a byte line: the core (SimulatedStick) and a
// thread on the clock that feeds it.
//
// The thread reads the stick's end of the line with the core's next event
// time as the deadline, hands what arrived to the core, lets the core's time
// run to the clock's now and writes what the stick sent. The same driver
// serves the in-process line on a VirtualClock (tests) and a pty on a
// RealClock (fota-sim).
//
// In a test:
//
//     VirtualClock clock;
//     ant::InProcessLine line(clock);
//     auto program = line.programEnd();        // what the ANT library opens
//     sim::SimConfig config;                   // trainer, stick, fault knobs, seed
//     config.trainer.version = 90;
//     config.faults.failBursts = sim::Pick::at({2});
//     sim::Simulator simulator(clock, line, config);
//     ... run the program against `program` ...
//     EXPECT_TRUE(simulator.trainer().holdsExactly(blocks));
//
// When the stick vanishes (a fault knob) the driver unplugs the line: the
// in-process line fails at both ends; on other lines it calls `unplug`, or
// closes the transport when none was given.
//
// On the in-process line the stick outlives the program's end: when the
// program closes it (ANT_Close), the stick keeps its state and answers again
// once the program opens a new end (line.programEnd()). Only an unplugged line
// ends the driver. The line must outlive the Simulator.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "antlink/ByteTransport.h"
#include "antlink/InProcessTransport.h"
#include "platform/Clock.h"
#include "sim/SimulatedStick.h"

namespace fota::sim {

class Simulator {
public:
    // Plugs the stick into the stick end of an in-process line.
    Simulator(Clock& clock, ant::InProcessLine& line, SimConfig config = {});
    // Plugs it into any line (a pty in fota-sim).
    Simulator(Clock& clock, std::unique_ptr<ant::ByteTransport> transport, SimConfig config,
              std::function<void()> unplug = {});
    // Stops the driver thread (through the clock) and closes the line.
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Stops the driver thread; the stick answers nothing more.
    void stop();
    // False once the driver ended: the line failed, or the stick vanished.
    bool running() const;

    SimulatedStick& core() { return stick_; }
    TrainerReport trainer() const { return stick_.trainer(); }
    StickReport stick() const { return stick_.stick(); }
    std::vector<std::string> trace() const { return stick_.trace(); }
    void setTraceSink(std::function<void(const std::string&)> sink) {
        stick_.setTraceSink(std::move(sink));
    }

private:
    void run(std::stop_token stop);
    // The line failed for good (true), or only the program closed its end.
    bool lineGone() const;
    // Lets the stick live on while the program's end is closed; false on stop.
    bool idleUntilReopened(std::stop_token stop);
    // After a failed read or write: false when the line is gone for good
    // (the stick hears of it) or a stop came while idling, true once the
    // program's end is open again.
    bool goesOnAfterLineFailure(std::stop_token stop, Duration now);

    Clock& clock_;
    ant::InProcessLine* line_ = nullptr;  // set for the in-process line
    std::unique_ptr<ant::ByteTransport> transport_;
    std::function<void()> unplug_;
    SimulatedStick stick_;
    std::unique_ptr<ClockThread> thread_;
};

}  // namespace fota::sim
