#pragma once
// The command-line options that set up the simulated trainer and its faults,
// read the same way by every program that carries the simulator: fota-sim,
// fota-cli --simulate and fota --simulate. Each program keeps its own help
// text and its own options besides these (the trainer's device number among
// them: its name differs from program to program).

#include <functional>
#include <optional>
#include <string>
#include <string_view>

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

class SimOptionReader {
public:
    // The option's value: the next argument, or nothing when there is none.
    using Value = std::function<std::optional<std::string>()>;

    explicit SimOptionReader(SimConfig& config) : config_(config) {}

    // Reads `option` when it is one of the simulator's, taking its value from
    // `value` when it has one. Returns false when it is not one of them
    // (nothing taken); `error` then stays empty. A wrong value sets `error`
    // to a message naming the option and what it needs.
    bool read(const std::string& option, const Value& value, std::optional<std::string>& error);

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
