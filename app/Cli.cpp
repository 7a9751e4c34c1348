#include "app/Cli.h"

#include <array>
#include <cstdio>
#include <ostream>

#include "app/ImageCommand.h"
#include "app/UpgradeCommand.h"
#include "app/UpgradeOptions.h"
#include "sim/SimOptions.h"

namespace fota::cli {

namespace {

int runHelp(Args args, Io io);

constexpr std::array kCommands = {
    Command{"upgrade", "[upgrade] [OPTIONS]",
            "upgrade the trainer's firmware (the default command)", RunUpgradeCommand},
    Command{"plan", "plan --version V [--subversion S] --unit-type U [--json]",
            "what would be programmed for a trainer reporting these numbers (no stick)",
            RunPlanCommand},
    Command{"agreement", "agreement", "print the agreement an upgrade asks to accept",
            RunAgreementCommand},
    Command{"image", "image list\nimage dump NAME|FILE.hex",
            "list the embedded firmware images, or dump one (or a HEX file) block by block",
            RunImageCommand},
    Command{"help", "help", "show this help", runHelp},
};

constexpr std::array kExitStatuses = {
    ExitStatus{kExitOk, "finished", "upgrade finished: the trainer runs its new firmware"},
    ExitStatus{kExitFailure, "error", "the upgrade failed (or the command failed)"},
    ExitStatus{kExitUsage, "usage", "the command line is wrong"},
    ExitStatus{kExitAlreadyUpdated, "already_updated",
               "the trainer is already up to date: nothing was sent"},
    ExitStatus{kExitNotPossible, "not_possible", "no upgrade exists for this trainer"},
    ExitStatus{kExitNoFirmware, "no_firmware",
               "the trainer's firmware version is not a known one: no firmware for it"},
    ExitStatus{kExitZeroPosition, "zero_position_error",
               "the firmware was programmed, but setting the zero position failed"},
    ExitStatus{kExitConnectionLost, "connection_lost",
               "the trainer was not found or was lost, or the stick was pulled out"},
    ExitStatus{kExitNoStick, "no_stick", "no ANT USB stick could be opened"},
    ExitStatus{kExitDeclined, "declined", "the agreement was declined"},
    ExitStatus{kExitDemoRefused, "demo_refused",
               "refused: demo images are never sent to a real trainer"},
    ExitStatus{kExitDryRun, "dry_run",
               "dry run done: an image would be programmed, nothing was sent"},
    ExitStatus{kExitNoTerminal, "no_terminal",
               "a question had to be asked (agreement, device number) and there is no terminal"},
    ExitStatus{kExitNoDeviceNumber, "no_device_number",
               "the trainer's device number is negative: the upgrade cannot start"},
    ExitStatus{kExitInterrupted, "interrupted", "stopped by Ctrl+C or SIGTERM"},
};

void printForms(std::ostream& os, std::string_view forms) {
    while (!forms.empty()) {
        const auto end = forms.find('\n');
        os << "      fota-cli " << forms.substr(0, end) << "\n";
        forms = end == std::string_view::npos ? std::string_view{} : forms.substr(end + 1);
    }
}

void printUsage(std::ostream& os) {
    os << "usage: fota-cli COMMAND [ARGS]   (without a command: fota-cli [OPTIONS] upgrades)\n\n"
          "commands:\n";
    for (const Command& c : kCommands) {
        os << "  " << c.name << "  " << c.summary << "\n";
        printForms(os, c.usage);
    }
}

int runHelp(Args, Io io) {
    PrintHelp(io.out);
    return kExitOk;
}

}  // namespace

std::span<const ExitStatus> ExitStatuses() {
    return kExitStatuses;
}

const ExitStatus& ExitStatusOf(int code) {
    for (const ExitStatus& s : kExitStatuses) {
        if (s.code == code) {
            return s;
        }
    }
    return kExitStatuses[1];
}

void PrintHelp(std::ostream& os) {
    printUsage(os);
    os << "\nUpgrade: fota-cli [upgrade] [OPTIONS]\n"
          "Upgrades the firmware of an indoor bike trainer over an ANT USB stick: shows the\n"
          "agreement, reads the trainer's device number from the settings, connects, reads\n"
          "the trainer's version and unit type, sends the image the selection chooses (a\n"
          "bootloader first where needed, then the firmware) and restarts the trainer. The\n"
          "event log FirmwareUpdate.log records every step.\n\n"
       << kUpgradeOptionsHelp << sim::kSimTrainerOptionsHelp << kUpgradeSimOptionsHelp
       << "\nFaults of the simulated trainer and stick (with --simulate; all off by default):\n"
       << sim::kSimFaultOptionsHelp
       << "\nDevice numbers are read from $XDG_CONFIG_HOME/Norvo/Mova.conf (default\n"
          "~/.config/Norvo/Mova.conf), section [PelorDeviceMovaAnt], key\n"
          "MovaAntSettings_TrainerDeviceNumber (see README).\n"
          "\nExit status:\n";
    for (const ExitStatus& s : kExitStatuses) {
        char code[8];
        std::snprintf(code, sizeof code, "%4d", s.code);
        os << code << "  " << s.meaning << "\n";
    }
}

int Run(Args args, Io io) {
    if (args.empty()) {
        return RunUpgradeCommand(args, io);
    }
    const std::string& name = args.front();
    if (name == "-h" || name == "--help") {
        return runHelp(args.subspan(1), io);
    }
    if (!name.empty() && name.front() == '-') {
        return RunUpgradeCommand(args, io);  // options of the default command
    }
    for (const Command& c : kCommands) {
        if (name == c.name) {
            return c.run(args.subspan(1), io);
        }
    }
    io.err << "fota-cli: unknown command '" << Printable(name) << "'\n";
    printUsage(io.err);
    return kExitUsage;
}

std::string Printable(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c >= 0x20 && c < 0x7F) {
            out.push_back(ch);
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned>(c));
            out += escape;
        }
    }
    return out;
}

}  // namespace fota::cli
