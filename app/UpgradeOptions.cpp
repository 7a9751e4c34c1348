#include "app/UpgradeOptions.h"

#include "platform/Convert.h"
#include "sim/SimOptions.h"

namespace fota::cli {

const char* const kUpgradeOptionsHelp = R"(The stick (default: the first ANT USB stick found):
  --port PATH           the stick's serial port, e.g. /dev/ttyUSB0 (or the
                        pseudo-terminal of fota-sim)
  --usb                 the first ANT USB stick reached through libusb
  --simulate            a simulated stick with a simulated trainer in range
                        (no radio, no real trainer)

Before the upgrade:
  --accept-agreement    accept the agreement without being asked (read it
                        first: fota-cli agreement)
  --device-number N     the trainer's ANT device number, 0 to 65535, instead
                        of the one in the settings (0 finds any trainer)
  --dry-run             connect, read the trainer's version and unit type,
                        print what would be programmed and stop before
                        programming mode: the trainer is left untouched

Output:
  -v, --verbose         also print the log box lines; -vv also the event log
  --json                one JSON object per line and event, for scripts
  --log-dir DIR         write FirmwareUpdate.log into DIR (default: the desktop)
  --record FILE         write every byte that crosses the stick's line into FILE
                        (see docs/recording.md)

The simulated trainer (with --simulate):
)";

const char* const kUpgradeSimOptionsHelp =
    R"(  --sim-device-number N     its device number (default: the program's, or 1234)
  --sim-speed X             the simulated world and the program's clock run X
                            times faster, 0.1 to 1000 (demos only)
  --virtual-time            run in virtual time, as fast as the machine allows
                            (tests and measurements)
)";

const char* const kPlanOptionsHelp =
    R"(  --version V           the trainer's firmware version, 0 to 255
  --subversion S        its sub-version, 0 to 255 (default 0)
  --unit-type U         its unit type, 0 to 255
  --json                one JSON object
)";

std::optional<std::string> ParseUpgradeOptions(const std::vector<std::string>& args,
                                               UpgradeOptions& o) {
    sim::SimOptionReader simulation(o.simulation);
    bool simulationOption = false;  // besides the simulator's own
    bool stickGiven = false;
    bool speedGiven = false;

    sim::ArgWalker walk(args);
    while (!walk.done()) {
        const std::string a = walk.next();
        auto chooseStick = [&](UpgradeOptions::Stick stick) -> std::optional<std::string> {
            if (stickGiven && o.stick != stick) {
                return "choose one of --port, --usb and --simulate";
            }
            stickGiven = true;
            o.stick = stick;
            return std::nullopt;
        };
        std::optional<std::string> error;

        if (simulation.read(a, walk, error)) {
            // the simulated trainer or its faults
        } else if (a == "-h" || a == "--help") {
            o.help = true;
        } else if (a == "--simulate") {
            error = chooseStick(UpgradeOptions::Stick::Simulate);
        } else if (a == "--usb") {
            error = chooseStick(UpgradeOptions::Stick::Usb);
        } else if (a == "--port") {
            const auto v = walk.value();
            if (!v || v->empty()) {
                return "--port needs the path of the stick's serial port";
            }
            error = chooseStick(UpgradeOptions::Stick::Port);
            o.port = *v;
        } else if (a == "--accept-agreement") {
            o.acceptAgreement = true;
        } else if (a == "--device-number") {
            const auto v = walk.value();
            std::int32_t number = -1;
            if (!v || !TryStrToInt(*v, number) || number < 0 || number > 0xFFFF) {
                return "--device-number needs a number from 0 to 65535 (0 finds any trainer)";
            }
            o.deviceNumber = number;
        } else if (a == "--dry-run") {
            o.dryRun = true;
        } else if (a == "--json") {
            o.json = true;
        } else if (a == "-v" || a == "--verbose") {
            ++o.verbosity;
        } else if (a == "-vv") {
            o.verbosity += 2;
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
        } else if (a == "--sim-device-number") {
            const auto v = walk.value();
            const auto n = v ? sim::UnsignedArgument(*v) : std::nullopt;
            if (!n || *n < 1 || *n > 0xFFFF) {
                return "--sim-device-number needs a number from 1 to 65535";
            }
            o.simulation.trainer.deviceNumber = static_cast<std::uint16_t>(*n);
            o.simDeviceNumberGiven = true;
            simulationOption = true;
        } else if (a == "--sim-speed") {
            const auto v = walk.value();
            const auto speed = v ? sim::RealArgument(*v) : std::nullopt;
            if (!speed || *speed < 0.1 || *speed > 1000.0) {
                return "--sim-speed needs a factor from 0.1 to 1000";
            }
            o.speed = *speed;
            speedGiven = true;
            simulationOption = true;
        } else if (a == "--virtual-time") {
            o.virtualTime = true;
            simulationOption = true;
        } else {
            return "unknown option '" + a + "'";
        }
        if (error) {
            return error;
        }
    }

    const bool simulate = o.stick == UpgradeOptions::Stick::Simulate;
    if ((simulationOption || simulation.any()) && !simulate) {
        return "the simulated trainer's options need --simulate";
    }
    if (o.virtualTime && speedGiven) {
        return "choose one of --sim-speed and --virtual-time";
    }
    simulation.finish();
    return std::nullopt;
}

std::optional<std::string> ParsePlanOptions(const std::vector<std::string>& args, PlanOptions& o) {
    sim::ArgWalker walk(args);
    bool versionGiven = false;
    bool unitTypeGiven = false;
    while (!walk.done()) {
        const std::string a = walk.next();
        auto byte = [&](std::int32_t& out) -> std::optional<std::string> {
            const auto v = walk.value();
            const auto n = v ? sim::UnsignedArgument(*v) : std::nullopt;
            if (!n || *n > 255) {
                return a + " needs a number from 0 to 255";
            }
            out = static_cast<std::int32_t>(*n);
            return std::nullopt;
        };
        std::optional<std::string> error;
        if (a == "-h" || a == "--help") {
            o.help = true;
        } else if (a == "--version") {
            error = byte(o.version);
            versionGiven = true;
        } else if (a == "--subversion") {
            error = byte(o.subVersion);
        } else if (a == "--unit-type") {
            error = byte(o.unitType);
            unitTypeGiven = true;
        } else if (a == "--json") {
            o.json = true;
        } else {
            return "unknown option '" + a + "'";
        }
        if (error) {
            return error;
        }
    }
    if (!o.help && (!versionGiven || !unitTypeGiven)) {
        return "plan needs --version V and --unit-type U (and --subversion S when not 0)";
    }
    return std::nullopt;
}

}  // namespace fota::cli
