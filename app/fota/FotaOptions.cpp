#include "app/fota/FotaOptions.h"

#include "sim/SimOptions.h"

namespace fota::app {

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

    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= args.size()) {
                return std::nullopt;
            }
            return args[++i];
        };
        std::optional<std::string> error;

        if (simulation.read(a, value, error)) {
            // the simulated trainer or its faults
        } else if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a == "--simulate") {
            error = chooseStick(FotaOptions::Stick::Simulate);
        } else if (a == "--usb") {
            error = chooseStick(FotaOptions::Stick::Usb);
        } else if (a == "--port") {
            const auto v = value();
            if (!v || v->empty()) {
                return "--port needs the path of the stick's serial port";
            }
            error = chooseStick(FotaOptions::Stick::Port);
            o.port = *v;
        } else if (a == "--sim-speed") {
            const auto v = value();
            const auto speed = v ? sim::RealArgument(*v) : std::nullopt;
            if (!speed || *speed < 0.1 || *speed > 100.0) {
                return "--sim-speed needs a factor from 0.1 to 100";
            }
            o.speed = *speed;
            speedGiven = true;
        } else if (a == "--log-dir") {
            const auto v = value();
            if (!v || v->empty()) {
                return "--log-dir needs a folder";
            }
            o.logDir = *v;
        } else if (a == "--record") {
            const auto v = value();
            if (!v || v->empty()) {
                return "--record needs a file";
            }
            o.recordFile = *v;
        } else if (a == "--screenshots") {
            const auto v = value();
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
