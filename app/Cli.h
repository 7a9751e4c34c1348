#pragma once
// fota-cli's command dispatch. Each subcommand is one entry of the command
// table in Cli.cpp with a function that receives the arguments after its
// name; the function writes its results to io.out and its errors to io.err
// and returns the exit status. Without a command name (no arguments, or
// options first) fota-cli runs an upgrade.

#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace fota::ant {
class ByteTransport;
}
namespace fota::sim {
struct TrainerReport;
}

namespace fota::cli {

// Exit statuses: one per way a command, and above all an upgrade, ends.
inline constexpr int kExitOk = 0;               // done; an upgrade finished correctly
inline constexpr int kExitFailure = 1;          // the command ran and failed; an upgrade error
inline constexpr int kExitUsage = 2;            // the command line is wrong
inline constexpr int kExitAlreadyUpdated = 3;   // the trainer is already up to date
inline constexpr int kExitNotPossible = 4;      // no upgrade exists for this trainer
inline constexpr int kExitNoFirmware = 5;       // its firmware version is not a known one
inline constexpr int kExitZeroPosition = 6;     // upgraded, but its zero position was not set
inline constexpr int kExitConnectionLost = 7;   // trainer not found or lost, or stick pulled out
inline constexpr int kExitNoStick = 8;          // no ANT USB stick could be opened
inline constexpr int kExitDeclined = 9;         // the agreement was declined
inline constexpr int kExitDemoRefused = 10;     // demo images are never sent to a real trainer
inline constexpr int kExitDryRun = 11;          // dry run: an image would be programmed
inline constexpr int kExitNoTerminal = 12;      // a question to ask, and no terminal to ask it
inline constexpr int kExitNoDeviceNumber = 13;  // the trainer's device number is negative
inline constexpr int kExitInterrupted = 130;    // stopped by Ctrl+C (SIGINT) or SIGTERM

struct ExitStatus {
    int code;
    std::string_view name;     // a word for scripts (--json "outcome")
    std::string_view meaning;  // one line for --help and the README
};

// Every exit status, in code order.
std::span<const ExitStatus> ExitStatuses();
// The entry of a code (kExitFailure's for an unknown one).
const ExitStatus& ExitStatusOf(int code);

using Args = std::span<const std::string>;

struct Io {
    std::ostream& out;
    std::ostream& err;
    // Where answers to questions come from; null: there is nobody to ask.
    std::istream* in = nullptr;
    // in is a terminal a person types at (questions are only asked there).
    bool inTerminal = false;
    // out is a terminal: the progress bar is redrawn in place.
    bool outTerminal = false;
    // Device numbers from this settings file instead of the user's.
    std::optional<std::string> settingsFile = std::nullopt;
    // Tests: puts something between the ANT library and the line it opened
    // (for example to make the simulated stick look like a real one).
    std::function<std::unique_ptr<ant::ByteTransport>(std::unique_ptr<ant::ByteTransport>)>
        wrapLine = nullptr;
    // Tests: given what the simulated trainer holds at the end (--simulate).
    std::function<void(const sim::TrainerReport&)> simulatedTrainer = nullptr;
};

struct Command {
    std::string_view name;
    std::string_view usage;    // one line per form, without the program name
    std::string_view summary;  // one line
    int (*run)(Args args, Io io);
};

// Runs the command line args (without the program name).
int Run(Args args, Io io);

// The whole help text: commands, upgrade options, exit statuses.
void PrintHelp(std::ostream& os);

// Text safe to print on a terminal: bytes outside printable ASCII as \xNN.
std::string Printable(std::string_view text);

}  // namespace fota::cli
