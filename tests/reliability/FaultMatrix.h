#pragma once
// The fault matrix: every fault knob of the simulator at several strengths,
// against a few starting trainers, each cell a whole upgrade in virtual time.
//
// The invariant every cell must keep:
//   - "Firmware Upgraded Successfully!" and psfFinishOK only when the trainer
//     runs, exactly, the last image the program chose (and, where the program
//     corrects the zero position, the trainer holds the corrected value);
//   - any other end is a failure state the window shows, or a message box;
//   - the worker ends (no hang) and nothing crashes.
//
// The GTest in this folder runs a subset; bench/ReliabilityMatrix.cpp runs the
// whole matrix and writes docs/reliability.md.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "sim/SimConfig.h"
#include "tests/e2e/UpgradeHarness.h"

namespace fota::reliability {

// A trainer as the upgrade finds it, and what a good upgrade leaves on it.
struct StartingTrainer {
    std::string name;
    sim::Model model = sim::Model::KOV;
    std::uint8_t version = 0;
    std::uint8_t unitType = 0;
    std::uint8_t zeroPosition = 20;
    std::vector<std::string> images;  // chosen in this order on a clean run
    int correctedZero = -1;           // the zero position a good upgrade writes; -1: none

    void applyTo(sim::SimConfig& config) const;
};

// The two-pass KOV path, a single-pass firmware path, the WEK zero-position path.
std::vector<StartingTrainer> StartingTrainers();

struct Fault {
    std::string group;    // "lost pages", "failed sends", ...
    std::string name;     // unique within the matrix
    bool random = false;  // draws from the seed: worth more than one seed
    std::function<void(sim::SimConfig&, const StartingTrainer&)> apply;
};

std::vector<Fault> Faults();

struct Cell {
    StartingTrainer trainer;
    Fault fault;
    std::uint32_t seed = 1;

    std::string id() const;  // "<trainer>/<fault>/s<seed>"
    sim::SimConfig config() const;
};

// Every fault against every trainer; random faults once per seed 1..seeds.
std::vector<Cell> AllCells(unsigned seeds);

// What one cell showed.
struct CellResult {
    std::string id;
    std::string trainer;
    std::string group;
    std::string fault;
    std::uint32_t seed = 0;

    std::string state;          // the worker's final state (StateName), "-" without a worker
    std::string end;            // how it ended for the user, one short phrase
    std::string chosen;         // the images chosen, "+"-joined
    std::string holds;          // "yes", "no", or "-" when nothing was chosen
    double upgradeSeconds = 0;  // protocol time to the worker's end
    int retries = 0;
    bool success = false;  // psfFinishOK or the success message
    bool held = true;      // the invariant
    std::string breach;    // why not, when it did not hold
};

// A result that names the cell and has nothing judged yet.
CellResult NamedResult(const Cell& cell);

// Retry lines of an event log: "(Try N)" with N > 0, "NACK for pck",
// "EVENT_RX_FAIL,try again", and a request sent again after no reply or a
// failed send.
int CountRetries(const std::vector<std::string>& eventLog);

// Judges a finished run against the invariant.
CellResult Evaluate(const Cell& cell, const testing::UpgradeRun& run);

// Runs one cell in this process.
CellResult RunCell(const Cell& cell);

// One tab-separated line and back (for running cells in child processes).
std::string Serialize(const CellResult& r);
bool Deserialize(const std::string& line, CellResult& r);

// The whole report, as Markdown.
struct MatrixSummary {
    std::string command;
    double wallSeconds = 0;
    unsigned seeds = 1;
};
std::string Markdown(const std::vector<CellResult>& results, const MatrixSummary& summary);

}  // namespace fota::reliability
