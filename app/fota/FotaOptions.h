#pragma once
// The command line of the window program `fota`.

#include <optional>
#include <string>
#include <vector>

#include "sim/SimConfig.h"

namespace fota::app {

// The program's help text.
std::string FotaUsage();

struct FotaOptions {
    enum class Stick { Auto, Port, Usb, Simulate };
    Stick stick = Stick::Auto;
    std::string port;           // Stick::Port
    sim::SimConfig simulation;  // Stick::Simulate
    double speed = 1.0;         // Stick::Simulate
    std::optional<std::string> logDir;
    std::optional<std::string> recordFile;
    std::optional<std::string> screenshotDir;
    bool help = false;
};

// Reads the arguments (without the program name); an error message when
// they are wrong, options untouched or partly filled then.
std::optional<std::string> ParseFotaOptions(const std::vector<std::string>& args,
                                            FotaOptions& options);

}  // namespace fota::app
