#pragma once
// The command line of the window program `fota`.

#include <optional>
#include <string>
#include <vector>

#include "sim/SimConfig.h"

namespace fota::app {

inline constexpr const char* kFotaUsage = R"(usage: fota [options]

Upgrades the firmware of a trainer over an ANT USB stick, in a window.

The stick (default: the first ANT USB stick found):
  --port PATH         the stick's serial port, for example /dev/ttyUSB0
  --usb               the stick reached through libusb
  --simulate          a simulated stick with a simulated trainer in range
                      (no radio; the window title says so)

The simulated trainer (with --simulate):
  --model CODE        KOV PU LO WEK DUF TOBE GILNO MUSEK (default KOV)
  --version N         firmware version it reports (default 90)
  --subversion N      sub-version it reports (default 0)
  --unit-type N       unit type it reports (default: that of the model's firmware)
  --bootloader        it runs its bootloader (version 1)
  --bootloader-subversion N   85 (64K controller) or 86 (default)
  --zero-position N   its stored zero position (default 10)
  --restart-ms N      silence after program mode exit (default 4000)
  --version-page-every N  broadcast a version page every N pages
  --sim-speed X       the simulated world and the program's timers run X times
                      faster than real time, 0.1 to 100 (default 1)

Faults of the simulated trainer and stick (with --simulate; all off by default):
  --seed N            seed of every random fault (default 1)
  --drop-to-trainer F   share of the program's pages the trainer never hears
  --drop-from-trainer F share of the trainer's pages the stick never hears
  --fail-acked F      share of acknowledged sends whose acknowledgement is lost
  --fail-burst N      the N-th burst fails (repeatable)
  --withhold-block-acks first|always
  --withhold-block-ack N  the N-th accepted block is never acknowledged
                      (repeatable)
  --disappear-after-requests N | --disappear-after-blocks N | --disappear-at-exit
                      the trainer goes silent for good at that moment
  --faulty-bootloader its bootloader reports unit type 255
  --no-unit-type-after-restart | --zero-write-unconfirmed
  --line-garbage F | --line-corrupt F   share of the stick's messages garbled
  --vanish-after-blocks N   the stick is pulled out after the N-th block

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
