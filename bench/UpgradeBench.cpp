// Wall time of whole upgrades in virtual time: the program logic, the ANT
// library and the simulated stick and trainer, with every protocol pause
// skipped by the virtual clock. Counters report the protocol (virtual) time.

#include <benchmark/benchmark.h>

#include "tests/e2e/UpgradeHarness.h"

using namespace fota;

namespace {

void Run(benchmark::State& state, const sim::SimConfig& config) {
    double protocol = 0;
    std::size_t blocks = 0;
    std::size_t sessions = 0;
    for (auto _ : state) {
        const testing::UpgradeRun run = testing::RunUpgrade(config);
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
    }
    // The least protocol time the program's own pauses allow, with a radio
    // that answers at once: bring-up (600 ms reset wait and one response per
    // 300 ms pump tick), the two queries of the first pass (2.5 s each), per
    // pass program mode start and exit (0.5 s each), the boot pause and one
    // boot-wait step (3.7 s) and the version re-read (2.5 s), and per block
    // one burst poll and the two acknowledgement polls (1.5 s).
    const double passes = static_cast<double>(sessions);
    const double least = 0.6 + 8 * 0.3 + 2 * 2.5 + passes * (0.5 + 0.5 + 3.7 + 2.5) +
                         1.5 * static_cast<double>(blocks);
    state.counters["protocol_s"] = protocol;
    state.counters["least_s"] = least;
    state.counters["blocks"] = static_cast<double>(blocks);
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
        benchmark::RegisterBenchmark(t.name, [config](benchmark::State& state) {
            Run(state, config);
        })->Unit(benchmark::kMillisecond);
    }
    return true;
}();

}  // namespace

BENCHMARK_MAIN();
