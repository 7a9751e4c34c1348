#pragma once
// fota-cli's command dispatch. Each subcommand is one entry of the command
// table in Cli.cpp with a function that receives the arguments after its
// name; the function writes its results to io.out and its errors to io.err
// and returns the exit status.

#include <iosfwd>
#include <span>
#include <string>
#include <string_view>

namespace fota::cli {

// Exit statuses shared by the subcommands.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;  // the command ran and failed
inline constexpr int kExitUsage = 2;    // the command line is wrong

using Args = std::span<const std::string>;

struct Io {
    std::ostream& out;
    std::ostream& err;
};

struct Command {
    std::string_view name;
    std::string_view usage;    // one line per form, without the program name
    std::string_view summary;  // one line
    int (*run)(Args args, Io io);
};

// Runs the command line args (without the program name).
int Run(Args args, Io io);

// Text safe to print on a terminal: bytes outside printable ASCII as \xNN.
std::string Printable(std::string_view text);

}  // namespace fota::cli
