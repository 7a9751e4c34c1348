#pragma once
// The command lines of `fota-cli [upgrade]` and `fota-cli plan`.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/SimConfig.h"

namespace fota::cli {

struct UpgradeOptions {
    enum class Stick { Auto, Port, Usb, Simulate };
    Stick stick = Stick::Auto;
    std::string port;  // Stick::Port

    // The simulated trainer and stick (Stick::Simulate).
    sim::SimConfig simulation;
    bool simDeviceNumberGiven = false;  // else the trainer takes the program's device number
    double speed = 1.0;                 // the simulated world and the program's clock
    bool virtualTime = false;           // as fast as the machine allows

    std::optional<std::int32_t> deviceNumber;
    std::optional<std::string> logDir;
    std::optional<std::string> recordFile;
    bool acceptAgreement = false;
    bool dryRun = false;
    bool json = false;
    int verbosity = 0;  // -v: log box lines; -vv: event log lines too
    bool help = false;
};

struct PlanOptions {
    std::int32_t version = -1;
    std::int32_t subVersion = 0;
    std::int32_t unitType = -1;
    bool json = false;
    bool help = false;
};

// Reads the arguments (after the command name); an error message when they
// are wrong.
std::optional<std::string> ParseUpgradeOptions(const std::vector<std::string>& args,
                                               UpgradeOptions& options);
std::optional<std::string> ParsePlanOptions(const std::vector<std::string>& args,
                                            PlanOptions& options);

// The option lines of --help: kUpgradeOptionsHelp ends with the heading of
// the simulated trainer's options, which go on with the simulator's own
// (sim::kSimTrainerOptionsHelp) and then kUpgradeSimOptionsHelp.
extern const char* const kUpgradeOptionsHelp;
extern const char* const kUpgradeSimOptionsHelp;
extern const char* const kPlanOptionsHelp;

}  // namespace fota::cli
