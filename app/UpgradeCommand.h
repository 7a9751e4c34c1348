#pragma once
// fota-cli's upgrade, plan and agreement commands.
//
// An upgrade runs the window's own logic (TMainForm through HeadlessWindow)
// on an event loop, as the window would: the agreement (typed "yes" or
// --accept-agreement), start-up with the device numbers from the settings
// file (or --device-number, or the question on the terminal), the start
// button, the channel bring-up, the worker, the state poll, and then the
// close button once the upgrade has ended. The exit status says how it ended
// (see ExitStatuses()).
//
// With --simulate the stick and trainer are simulated in the process; the
// clock is the real one (times --sim-speed) or, with --virtual-time, a
// virtual clock, so that whole upgrades run in well under a second (tests).

#include "app/Cli.h"

namespace fota::cli {

int RunUpgradeCommand(Args args, Io io);
int RunPlanCommand(Args args, Io io);
int RunAgreementCommand(Args args, Io io);

// Asks the running upgrade to stop, as Ctrl+C does: the worker is stopped,
// the close sequence runs and the upgrade ends with kExitInterrupted. Any
// thread. False when no upgrade is running, or it is already stopping.
bool InterruptUpgrade(int signal);

}  // namespace fota::cli
