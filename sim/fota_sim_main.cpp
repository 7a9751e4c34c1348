// fota-sim: a simulated ANT USB stick, with a trainer in radio range, on a
// pseudo-terminal. Point the program at the printed path as at a real
// stick's serial port.

#include <pthread.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "sim/PtyTransport.h"
#include "sim/SimOptions.h"
#include "sim/Simulator.h"

namespace {

using namespace fota;
using namespace fota::sim;

void PrintUsage() {
    std::fputs(R"(usage: fota-sim [options]

Opens a pseudo-terminal and acts as an ANT USB stick plugged into it, with a
simulated trainer in range. The first line on standard output names the
terminal. Runs until SIGINT or SIGTERM.

Trainer:
)",
               stdout);
    std::fputs(kSimTrainerOptionsHelp, stdout);
    std::fputs(R"(  --device-number N         its ANT device number (default 1234)

Faults (all off by default):
)",
               stdout);
    std::fputs(kSimFaultOptionsHelp, stdout);
    std::fputs(R"(
Running:
  --speed X                 simulated time runs X times faster, 0.1 to 1000
                            (default 1)
  --quiet                   no trace on standard error
  --exit-after-upgrade      end once the trainer runs received firmware and the
                            program has reset the stick (or 30 s later)
  --help
)",
               stdout);
}

struct Options {
    SimConfig config;
    double speed = 1.0;
    bool quiet = false;
    bool exitAfterUpgrade = false;
};

int usageError(const std::string& what) {
    std::fprintf(stderr, "fota-sim: %s\n(see fota-sim --help)\n", what.c_str());
    return 2;
}

// Returns an exit code when the program should end at once.
std::optional<int> parse(int argc, char** argv, Options& o) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    SimOptionReader simulation(o.config);
    ArgWalker walk(args);
    while (!walk.done()) {
        const std::string a = walk.next();
        std::optional<std::string> error;
        if (simulation.read(a, walk, error)) {
            // the trainer or its faults
        } else if (a == "--help" || a == "-h") {
            PrintUsage();
            return 0;
        } else if (a == "--device-number") {
            const auto v = walk.value();
            const auto n = v ? UnsignedArgument(*v) : std::nullopt;
            if (!n || *n > 0xFFFF) {
                error = "--device-number needs a number from 0 to 65535";
            } else {
                o.config.trainer.deviceNumber = static_cast<std::uint16_t>(*n);
            }
        } else if (a == "--speed") {
            const auto v = walk.value();
            const auto speed = v ? RealArgument(*v) : std::nullopt;
            if (!speed || *speed < 0.1 || *speed > 1000.0) {
                error = "--speed needs a factor from 0.1 to 1000";
            } else {
                o.speed = *speed;
            }
        } else if (a == "--quiet") {
            o.quiet = true;
        } else if (a == "--exit-after-upgrade") {
            o.exitAfterUpgrade = true;
        } else {
            error = "unknown option " + a;
        }
        if (error) {
            return usageError(*error);
        }
    }
    simulation.finish();
    return std::nullopt;
}

// The trainer runs firmware it received and the program has let go of the stick.
class UpgradeWatch {
public:
    bool done(const Simulator& sim, Duration now) {
        if (!since_) {
            const TrainerReport t = sim.trainer();
            if (t.running && t.running->model != "BOOT" && !t.restarting) {
                since_ = now;
                resets_ = sim.stick().resets;
            }
            return false;
        }
        return sim.stick().resets > resets_ || now - *since_ > std::chrono::seconds(30);
    }

private:
    std::optional<Duration> since_;
    std::uint64_t resets_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (const auto exitCode = parse(argc, argv, options)) {
        return *exitCode;
    }

    // Signals are taken by sigtimedwait below, on this thread only.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    RealClock clock(options.speed);
    std::string error;
    auto pty = PtyTransport::open(clock, &error);
    if (!pty) {
        std::fprintf(stderr, "fota-sim: cannot open a pseudo-terminal: %s\n", error.c_str());
        return 1;
    }
    std::printf("fota-sim: stick on %s\n", pty->slavePath().c_str());
    std::fflush(stdout);

    Simulator sim(clock, std::move(pty), options.config);
    if (!options.quiet) {
        sim.setTraceSink(
            [](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); });
    }

    UpgradeWatch watch;
    const timespec tick{0, 100'000'000};
    int caught = 0;
    for (;;) {
        siginfo_t info{};
        const int s = sigtimedwait(&signals, &info, &tick);
        if (s == SIGINT || s == SIGTERM) {
            caught = s;
            break;
        }
        if (!sim.running()) {
            break;  // the stick vanished or its line failed
        }
        if (options.exitAfterUpgrade && watch.done(sim, clock.now())) {
            break;
        }
    }
    sim.stop();

    const TrainerReport t = sim.trainer();
    std::printf(
        "fota-sim: %s; trainer reports version %u, sub-version %u, unit type %u, zero position "
        "%u; %u block(s) accepted, %u rejected, %u restart(s)\n",
        caught != 0 ? strsignal(caught) : "done", t.version, t.subVersion, t.unitType,
        t.zeroPosition, t.counters.blocksAccepted, t.counters.blocksRejected, t.counters.restarts);
    return 0;
}
