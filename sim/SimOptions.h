#pragma once
// The command-line options that set up the simulated trainer and its faults,
// read the same way by every program that carries the simulator: fota-sim,
// fota-cli --simulate and fota --simulate. Each program keeps its own help
// text and its own options besides these (the trainer's device number among
// them: its name differs from program to program).

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/SimConfig.h"

namespace fota::sim {

// A whole number, the whole text and nothing else ("12", not "+12" or "12 ").
std::optional<unsigned> UnsignedArgument(std::string_view text);
// A finite real number, the whole text and nothing else.
std::optional<double> RealArgument(std::string_view text);

// The help lines of the trainer's and of the fault options, each ending in a
// newline, for every program's usage text under a heading of its own.
extern const char* const kSimTrainerOptionsHelp;
extern const char* const kSimFaultOptionsHelp;

// Walks a command line: next() takes an option, value() the argument after
// it (nothing at the end of the line).
class ArgWalker {
public:
    explicit ArgWalker(const std::vector<std::string>& args) : args_(args) {}
    bool done() const { return i_ >= args_.size(); }
    const std::string& next() { return args_[i_++]; }
    std::optional<std::string> value() {
        if (done()) {
            return std::nullopt;
        }
        return next();
    }

private:
    const std::vector<std::string>& args_;
    std::size_t i_ = 0;
};

class SimOptionReader {
public:
    explicit SimOptionReader(SimConfig& config) : config_(config) {}

    // Reads `option` when it is one of the simulator's, taking its value from
    // `args` when it has one. Returns false when it is not one of them
    // (nothing taken); `error` then stays empty. A wrong value sets `error`
    // to a message naming the option and what it needs.
    bool read(const std::string& option, ArgWalker& args, std::optional<std::string>& error);

    // At least one of the simulator's options was given.
    bool any() const { return any_; }

    // After the last option: a trainer whose unit type was not given reports
    // that of its model's firmware.
    void finish();

private:
    SimConfig& config_;
    bool any_ = false;
    bool unitTypeGiven_ = false;
};

}  // namespace fota::sim
