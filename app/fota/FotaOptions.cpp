#include "app/fota/FotaOptions.h"

#include "sim/SimOptions.h"

namespace fota::app {

std::string FotaUsage() {
    std::string usage = R"(usage: fota [options]

Upgrades the firmware of a trainer over an ANT USB stick, in a window.

The stick (default: the first ANT USB stick found):
  --port PATH         the stick's serial port, for example /dev/ttyUSB0
  --usb               the stick reached through libusb
  --simulate          a simulated stick with a simulated trainer in range
                      (no radio; the window title says so)

The simulated trainer (with --simulate):
)";
    usage += sim::kSimTrainerOptionsHelp;
    usage += R"(  --sim-speed X             the simulated world and the program's timers run
                            X times faster than real time, 0.1 to 100
                            (default 1)

Faults of the simulated trainer and stick (with --simulate; all off by default):
)";
    usage += sim::kSimFaultOptionsHelp;
    usage += R"(
Other:
  --log-dir DIR       write FirmwareUpdate.log into DIR instead of the desktop
  --record FILE       write every byte that crosses the stick's line into FILE
                      (see docs/recording.md)
  --screenshots DIR   (with --simulate) walk through an upgrade by itself,
                      save pictures of the window and its dialogs into DIR
                      and end
  --help              show this help

The trainer's device number is read from the user's settings (see README).
)";
    return usage;
}

std::optional<std::string> ParseFotaOptions(const std::vector<std::string>& args, FotaOptions& o) {
    sim::SimOptionReader simulation(o.simulation);
    bool speedGiven = false;
    bool stickGiven = false;
    auto chooseStick = [&](FotaOptions::Stick stick) -> std::optional<std::string> {
        if (stickGiven && o.stick != stick) {
            return "choose one of --port, --usb and --simulate";
        }
        stickGiven = true;
        o.stick = stick;
        return std::nullopt;
    };

    sim::ArgWalker walk(args);
    while (!walk.done()) {
        const std::string a = walk.next();
        std::optional<std::string> error;

        if (simulation.read(a, walk, error)) {
            // the simulated trainer or its faults
        } else if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a == "--simulate") {
            error = chooseStick(FotaOptions::Stick::Simulate);
        } else if (a == "--usb") {
            error = chooseStick(FotaOptions::Stick::Usb);
        } else if (a == "--port") {
            const auto v = walk.value();
            if (!v || v->empty()) {
                return "--port needs the path of the stick's serial port";
            }
            error = chooseStick(FotaOptions::Stick::Port);
            o.port = *v;
        } else if (a == "--sim-speed") {
            const auto v = walk.value();
            const auto speed = v ? sim::RealArgument(*v) : std::nullopt;
            if (!speed || *speed < 0.1 || *speed > 100.0) {
                return "--sim-speed needs a factor from 0.1 to 100";
            }
            o.speed = *speed;
            speedGiven = true;
        } else if (a == "--log-dir") {
            const auto v = walk.value();
            if (!v || v->empty()) {
                return "--log-dir needs a folder";
            }
            o.logDir = *v;
        } else if (a == "--record") {
            const auto v = walk.value();
            if (!v || v->empty()) {
                return "--record needs a file";
            }
            o.recordFile = *v;
        } else if (a == "--screenshots") {
            const auto v = walk.value();
            if (!v || v->empty()) {
                return "--screenshots needs a folder";
            }
            o.screenshotDir = *v;
        } else {
            return "unknown option '" + a + "'";
        }
        if (error) {
            return error;
        }
    }

    const bool simulate = o.stick == FotaOptions::Stick::Simulate;
    if ((simulation.any() || speedGiven) && !simulate) {
        return "the simulated trainer's options need --simulate";
    }
    if (o.screenshotDir && !simulate) {
        return "--screenshots needs --simulate";
    }
    simulation.finish();
    return std::nullopt;
}

}  // namespace fota::app
