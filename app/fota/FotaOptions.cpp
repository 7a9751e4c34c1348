#include "app/fota/FotaOptions.h"

#include <charconv>
#include <cstdlib>

namespace fota::app {

namespace {

std::optional<unsigned> unsignedNumber(const std::string& text) {
    unsigned value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end) {
        return std::nullopt;
    }
    return value;
}

std::optional<double> speedFactor(const std::string& text) {
    if (text.empty()) {
        return std::nullopt;
    }
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || !(v >= 0.1 && v <= 100.0)) {
        return std::nullopt;
    }
    return v;
}

}  // namespace

std::optional<std::string> ParseFotaOptions(const std::vector<std::string>& args, FotaOptions& o) {
    sim::TrainerConfig& trainer = o.simulation.trainer;
    bool unitTypeGiven = false;
    bool trainerKnob = false;
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
        auto byte = [&](std::uint8_t& out) -> std::optional<std::string> {
            const auto v = value();
            const auto n = v ? unsignedNumber(*v) : std::nullopt;
            if (!n || *n > 255) {
                return a + " needs a number from 0 to 255";
            }
            out = static_cast<std::uint8_t>(*n);
            trainerKnob = true;
            return std::nullopt;
        };
        std::optional<std::string> error;

        if (a == "--help" || a == "-h") {
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
        } else if (a == "--model") {
            const auto v = value();
            const auto model = v ? sim::modelFromCode(*v) : std::nullopt;
            if (!model) {
                return "--model needs one of KOV PU LO WEK DUF TOBE GILNO MUSEK";
            }
            trainer.model = *model;
            trainerKnob = true;
        } else if (a == "--version") {
            error = byte(trainer.version);
        } else if (a == "--subversion") {
            error = byte(trainer.subVersion);
        } else if (a == "--unit-type") {
            error = byte(trainer.unitType);
            unitTypeGiven = true;
        } else if (a == "--bootloader") {
            trainer.runsBootloader = true;
            trainerKnob = true;
        } else if (a == "--sim-speed") {
            const auto v = value();
            const auto speed = v ? speedFactor(*v) : std::nullopt;
            if (!speed) {
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
    if ((trainerKnob || speedGiven) && !simulate) {
        return "the simulated trainer's options need --simulate";
    }
    if (o.screenshotDir && !simulate) {
        return "--screenshots needs --simulate";
    }
    if (!unitTypeGiven) {
        trainer.unitType = sim::firmwareUnitType(trainer.model);
    }
    return std::nullopt;
}

}  // namespace fota::app
