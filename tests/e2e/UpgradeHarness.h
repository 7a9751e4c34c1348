#pragma once
// Runs the whole program logic against the simulated stick and trainer in
// virtual time: start-up, start button, bring-up, the upgrade worker, the
// state poll, and the close, as a user who presses "Close" once the window
// shows a final state.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "antlink/TransportOpener.h"
#include "engine/FOTAComponent.h"
#include "sim/SimConfig.h"
#include "sim/Trainer.h"

namespace fota {
class TMainForm;
}

namespace fota::testing {

struct UpgradeRun {
    TProgrammingStateFota finalState = psfBeforeStart;
    bool upgradeFailed = false;         // the worker's error flag
    std::vector<std::string> eventLog;  // message texts, in order
    std::vector<double> eventTimes;     // virtual time of each, in seconds
    std::string logFile;                // the whole log file, time stamps included
    std::vector<std::string> logBox;
    std::vector<std::string> messages;  // message boxes
    std::vector<std::uint8_t> downloadDialogs;
    std::string status;  // the last status text
    int exitCode = -1;
    bool terminated = false;  // ended by the connection-lost path
    sim::TrainerReport trainer;
    double protocolSeconds = 0;  // virtual time from start to the program's end
    double upgradeSeconds = 0;   // virtual time from start to the worker's end
};

UpgradeRun RunUpgrade(const sim::SimConfig& config, std::int32_t deviceNumber = 1234);

// What a run may change about the stick's line.
struct RunHooks {
    // Wraps the opener of the simulated stick's line (to record it, say).
    std::function<ant::TransportOpener(ant::TransportOpener simulated, Clock& clock)> wrapOpener;
    // Replaces the simulated stick altogether (a replayed recording): no
    // simulator runs and UpgradeRun::trainer stays empty.
    std::function<ant::TransportOpener(Clock& clock)> stick;
    // Changes the window's logic after its start-up, before the start button.
    std::function<void(TMainForm& form)> prepareForm;
};

UpgradeRun RunUpgrade(const sim::SimConfig& config, std::int32_t deviceNumber,
                      const RunHooks& hooks);

// The blocks of a stored image, as the trainer should hold them.
sim::BlockList BlocksOf(const std::string& imageName);

// How many of the image's blocks there are.
int BlockCount(const std::string& imageName);

}  // namespace fota::testing
