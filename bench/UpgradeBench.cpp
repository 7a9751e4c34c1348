// Wall time of whole upgrades in virtual time: the program logic, the ANT
// library and the simulated stick and trainer, with every protocol pause
// skipped by the virtual clock. Counters report the protocol (virtual) time
// and the time per block, for the worker's waits that end with their flag
// and, for comparison, for the first version's waits on a fixed poll grid.

#include <benchmark/benchmark.h>

#include "tests/e2e/UpgradeHarness.h"
#include "ui/ConfigForm.h"

using namespace fota;

namespace {

// Seconds per block while the image goes out: from "Start Transmission" to
// "Trasmission End" of every pass, over the blocks of all passes.
double SecondsPerBlock(const testing::UpgradeRun& run, std::size_t blocks) {
    double transfer = 0;
    double started = -1;
    for (std::size_t i = 0; i < run.eventLog.size(); ++i) {
        if (run.eventLog[i] == "Start Transmission") {
            started = run.eventTimes[i];
        } else if (run.eventLog[i] == "Trasmission End" && started >= 0) {
            transfer += run.eventTimes[i] - started;
            started = -1;
        }
    }
    return blocks == 0 ? 0 : transfer / static_cast<double>(blocks);
}

// grid: the worker's first waits, each poll running to its limit before it
// looks at its flag (for comparison with the waits that end with the flag).
void Run(benchmark::State& state, const sim::SimConfig& config, bool grid) {
    testing::RunHooks hooks;
    if (grid) {
        hooks.prepareForm = [](TMainForm& form) { form.pollOnGrid = true; };
    }
    double protocol = 0;
    double perBlock = 0;
    std::size_t blocks = 0;
    std::size_t sessions = 0;
    for (auto _ : state) {
        const testing::UpgradeRun run = testing::RunUpgrade(config, 1234, hooks);
        if (run.finalState != psfFinishOK) {
            state.SkipWithError("the upgrade did not finish");
            return;
        }
        protocol = run.upgradeSeconds;
        blocks = 0;
        sessions = run.trainer.sessions.size();
        for (const auto& s : run.trainer.sessions) {
            blocks += s.blocks.size();
        }
        perBlock = SecondsPerBlock(run, blocks);
    }
    // The least protocol time the program's own pauses allow, with a radio
    // that answers at once: bring-up (600 ms reset wait and one response per
    // 300 ms pump tick), the two queries of the first pass (2 s pause and one
    // pump tick each), per pass program mode start and exit (a pump tick
    // each), the boot pause and one boot-wait step (3.7 s) and the version
    // re-read (2.3 s), and per block three pump ticks (burst completed, block
    // acknowledgement request completed, block acknowledgement). The radio
    // adds its slots: a block takes three channel periods (burst, request,
    // answer), 2.91 s with the default period.
    const double passes = static_cast<double>(sessions);
    const double least =
        0.6 + 8 * 0.3 + 2 * 2.3 + passes * (0.6 + 3.7 + 2.3) + 0.9 * static_cast<double>(blocks);
    state.counters["protocol_s"] = protocol;
    state.counters["least_s"] = least;
    state.counters["blocks"] = static_cast<double>(blocks);
    state.counters["s_per_block"] = perBlock;
}

struct Trainer {
    const char* name;
    sim::Model model;
    std::uint8_t version;
    std::uint8_t unitType;
};

// Two passes (bootloader, then firmware), and one pass of a 256 image (the
// largest images of the set).
const Trainer kTrainers[] = {
    {"TwoPassKov64", sim::Model::KOV, 80, 14},
    {"TwoPassKov128", sim::Model::KOV, 90, 14},
    {"OnePassTobe256", sim::Model::TOBE, 129, 19},
};

const bool kRegistered = [] {
    for (const Trainer& t : kTrainers) {
        sim::SimConfig config;
        config.trainer.model = t.model;
        config.trainer.version = t.version;
        config.trainer.unitType = t.unitType;
        for (const bool grid : {false, true}) {
            const std::string name = std::string(t.name) + (grid ? "/waits:grid" : "/waits:flag");
            benchmark::RegisterBenchmark(name.c_str(), [config, grid](benchmark::State& state) {
                Run(state, config, grid);
            })->Unit(benchmark::kMillisecond);
        }
    }
    return true;
}();

}  // namespace

BENCHMARK_MAIN();
