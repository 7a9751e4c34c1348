#include "tests/reliability/FaultMatrix.h"

#include <algorithm>
#include <cstdio>
#include <iomanip>
#include <map>
#include <set>
#include <sstream>

#include "ui/ConfigForm.h"

namespace fota::reliability {

namespace {

constexpr const char* kSuccessMessage = "Firmware Upgraded Successfully!";
constexpr const char* kSelectedPrefix = "Firware Selected -> ";
// The harness gives up on a worker after three hours of protocol time.
constexpr double kHangSeconds = 3 * 3600.0 - 1.0;

bool StartsWith(const std::string& s, const std::string& prefix) {
    return s.rfind(prefix, 0) == 0;
}

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

std::string Percent(double f) {
    std::ostringstream s;
    s << f * 100 << " %";
    return s.str();
}

// Request ordinals of the first pass (as the trainer counts the requests it
// heard): version 1, unit type 2, program mode start 3, one block
// acknowledgement request per block, program mode exit, the version re-read,
// then the zero-position read.
unsigned FirstPassBlocks(const StartingTrainer& t) {
    return static_cast<unsigned>(testing::BlockCount(t.images.front()));
}

Fault Loss(bool toTrainer, double f) {
    return {"lost pages", std::string(toTrainer ? "to trainer " : "from trainer ") + Percent(f),
            true, [=](sim::SimConfig& c, const StartingTrainer&) {
                auto& knob = toTrainer ? c.faults.dropToTrainer : c.faults.dropFromTrainer;
                knob[sim::PageKind::Any] = sim::Pick::share(f);
            }};
}

Fault FailedSends(bool bursts, double f) {
    return {"failed sends", std::string(bursts ? "bursts " : "acknowledged ") + Percent(f), true,
            [=](sim::SimConfig& c, const StartingTrainer&) {
                (bursts ? c.faults.failBursts : c.faults.failAckedSends) = sim::Pick::share(f);
            }};
}

using WhenOf = std::function<sim::When(const StartingTrainer&)>;

// The phases of an upgrade at which the trainer or the stick can go.
std::vector<std::pair<std::string, WhenOf>> Phases(bool withBringUp) {
    std::vector<std::pair<std::string, WhenOf>> p;
    if (withBringUp) {
        p.emplace_back("bring-up", [](const StartingTrainer&) {
            return sim::When::atTime(std::chrono::seconds(1));
        });
    }
    p.emplace_back("queries", [](const StartingTrainer&) { return sim::When::afterRequests(1); });
    p.emplace_back("programming mode",
                   [](const StartingTrainer&) { return sim::When::afterRequests(3); });
    p.emplace_back("mid-transfer", [](const StartingTrainer& t) {
        return sim::When::afterBlocks(std::max(1u, FirstPassBlocks(t) / 2));
    });
    p.emplace_back("boot wait", [](const StartingTrainer&) { return sim::When::atProgramExit(); });
    p.emplace_back("re-read", [](const StartingTrainer& t) {
        return sim::When::afterRequests(FirstPassBlocks(t) + 5);
    });
    return p;
}

}  // namespace

void StartingTrainer::applyTo(sim::SimConfig& config) const {
    config.trainer.model = model;
    config.trainer.version = version;
    config.trainer.unitType = unitType;
    config.trainer.zeroPosition = zeroPosition;
}

std::vector<StartingTrainer> StartingTrainers() {
    return {
        {"KOV v80 (two passes)", sim::Model::KOV, 80, 14, 20, {"BOOTLOADER64", "FW_KOV_64"}, -1},
        {"KOV v95 (one pass)", sim::Model::KOV, 95, 14, 20, {"FW_KOV_128"}, -1},
        {"WEK v112 zero 10", sim::Model::WEK, 112, 17, 10, {"FW_WEK_64"}, 20},
        // Its old firmware already reports a version the upgrade takes as finished.
        {"KOV v129 (one pass)", sim::Model::KOV, 129, 14, 20, {"FW_KOV_256"}, -1},
    };
}

std::vector<Fault> Faults() {
    std::vector<Fault> out;
    out.push_back({"none", "clean", false, [](sim::SimConfig&, const StartingTrainer&) {}});
    const double rates[] = {0.01, 0.05, 0.20, 0.50};
    for (bool toTrainer : {true, false}) {
        for (double f : rates) {
            out.push_back(Loss(toTrainer, f));
        }
    }
    for (bool bursts : {false, true}) {
        for (double f : rates) {
            out.push_back(FailedSends(bursts, f));
        }
    }
    out.push_back({"block acks", "first request of each block unanswered", false,
                   [](sim::SimConfig& c, const StartingTrainer&) {
                       c.faults.blockAcks = sim::Faults::BlockAcks::FirstRequestWithheld;
                   }});
    out.push_back(
        {"block acks", "never for block 2", false,
         [](sim::SimConfig& c, const StartingTrainer&) { c.faults.withholdBlockAckFor = {2}; }});
    out.push_back(
        {"block acks", "never for any block", false, [](sim::SimConfig& c, const StartingTrainer&) {
             c.faults.blockAcks = sim::Faults::BlockAcks::Withheld;
         }});
    // Single named losses: each retry path on purpose.
    auto once = [](const char* name, auto setup) {
        return Fault{"single faults", name, false,
                     [=](sim::SimConfig& c, const StartingTrainer&) { setup(c); }};
    };
    using K = sim::PageKind;
    out.push_back(once("program mode start not heard once", [](sim::SimConfig& c) {
        c.faults.dropToTrainer[K::ProgramStart] = sim::Pick::at({1});
    }));
    out.push_back(once("program mode exit not heard once", [](sim::SimConfig& c) {
        c.faults.dropToTrainer[K::ProgramExit] = sim::Pick::at({1});
    }));
    out.push_back(once("version reply lost once", [](sim::SimConfig& c) {
        c.faults.dropFromTrainer[K::VersionReply] = sim::Pick::at({1});
    }));
    out.push_back(once("every read reply lost", [](sim::SimConfig& c) {
        c.faults.dropFromTrainer[K::ReadReply] = sim::Pick::all();
    }));
    out.push_back(once("zero-position read not heard once", [](sim::SimConfig& c) {
        c.faults.dropToTrainer[K::ZeroPositionRead] = sim::Pick::at({1});
    }));
    out.push_back(once("zero-position write never confirmed",
                       [](sim::SimConfig& c) { c.faults.zeroWriteUnconfirmed = true; }));
    out.push_back(once("bootloader reports unit type 255",
                       [](sim::SimConfig& c) { c.faults.faultyBootloader = true; }));
    out.push_back(once("no unit type after the restart",
                       [](sim::SimConfig& c) { c.faults.noUnitTypeAfterRestart = true; }));
    // The boot wait lasts up to 31.7 s; the channel's search gives up 37.5 s
    // after it lost the trainer.
    for (int s : {1, 10, 30, 33, 36, 40, 60}) {
        out.push_back({"restart time", std::to_string(s) + " s", false,
                       [=](sim::SimConfig& c, const StartingTrainer&) {
                           c.trainer.restartTime = std::chrono::seconds(s);
                       }});
    }
    for (const auto& [phase, when] : Phases(false)) {
        out.push_back({"trainer vanishes", phase, false,
                       [w = when](sim::SimConfig& c, const StartingTrainer& t) {
                           c.faults.disappear = w(t);
                       }});
    }
    for (const auto& [phase, when] : Phases(true)) {
        out.push_back({"stick vanishes", phase, false,
                       [w = when](sim::SimConfig& c, const StartingTrainer& t) {
                           c.faults.stickVanishes = w(t);
                       }});
    }
    for (double f : rates) {
        out.push_back(
            {"serial line", "garbage before " + Percent(f) + " of messages", true,
             [=](sim::SimConfig& c, const StartingTrainer&) { c.faults.lineGarbage = f; }});
    }
    for (double f : rates) {
        out.push_back(
            {"serial line", "bad checksum on " + Percent(f) + " of messages", true,
             [=](sim::SimConfig& c, const StartingTrainer&) { c.faults.lineCorrupt = f; }});
    }
    return out;
}

std::string Cell::id() const {
    return trainer.name + " / " + fault.group + ": " + fault.name + " / seed " +
           std::to_string(seed);
}

sim::SimConfig Cell::config() const {
    sim::SimConfig c;
    trainer.applyTo(c);
    fault.apply(c, trainer);
    c.seed = seed;
    return c;
}

std::vector<Cell> AllCells(unsigned seeds) {
    std::vector<Cell> cells;
    for (const auto& t : StartingTrainers()) {
        for (const auto& f : Faults()) {
            const unsigned n = f.random ? std::max(1u, seeds) : 1u;
            for (unsigned s = 1; s <= n; ++s) {
                cells.push_back({t, f, s});
            }
        }
    }
    return cells;
}

int CountRetries(const std::vector<std::string>& log) {
    static const std::set<std::string> failureLines = {"ERROR RETRIVING UNIT TYPE",
                                                       "Firmware Request Failed (EventRxFailed)",
                                                       "ERROR RETRIVING ZERO POSITION"};
    auto isSend = [](const std::string& l) {
        return (StartsWith(l, "Request ") && l.find("(send)") != std::string::npos) ||
               StartsWith(l, "ANT_SendAcknowledgedData Start Program Mode") ||
               StartsWith(l, "ANT_SendAcknowledgedData Exit Program Mode");
    };
    int n = 0;
    for (std::size_t i = 0; i < log.size(); ++i) {
        const std::string& l = log[i];
        if (StartsWith(l, "ANT_SendBurstTransfer (Try ") &&
            !StartsWith(l, "ANT_SendBurstTransfer (Try 0)")) {
            ++n;
        } else if (StartsWith(l, "NACK for pck") ||
                   l.find("EVENT_RX_FAIL,try again") != std::string::npos) {
            ++n;
        } else if (isSend(l) && i > 0) {
            // Sent again: right after the same request, or after its failure line.
            std::size_t j = i - 1;
            if (failureLines.count(log[j]) && j > 0) {
                --j;
            }
            if (log[j] == l) {
                ++n;
            }
        }
    }
    return n;
}

CellResult NamedResult(const Cell& cell) {
    CellResult r;
    r.id = cell.id();
    r.trainer = cell.trainer.name;
    r.group = cell.fault.group;
    r.fault = cell.fault.name;
    r.seed = cell.seed;
    return r;
}

CellResult Evaluate(const Cell& cell, const testing::UpgradeRun& run) {
    CellResult r = NamedResult(cell);
    r.upgradeSeconds = run.upgradeSeconds;
    r.retries = CountRetries(run.eventLog);
    const bool hadWorker = run.finalState != psfBeforeStart;
    r.state = hadWorker ? StateName(run.finalState) : "-";

    std::vector<std::string> chosen;
    for (const auto& l : run.eventLog) {
        if (StartsWith(l, kSelectedPrefix)) {
            chosen.push_back(l.substr(std::string(kSelectedPrefix).size()));
        }
    }
    for (std::size_t i = 0; i < chosen.size(); ++i) {
        r.chosen += (i ? "+" : "") + chosen[i];
    }
    if (r.chosen.empty()) {
        r.chosen = "-";
    }

    bool runsChosen = false;
    std::string running = run.trainer.running ? run.trainer.running->name : "its old firmware";
    if (run.trainer.runsBootloader && !run.trainer.running) {
        running = "its bootloader";
    }
    if (chosen.empty()) {
        r.holds = "-";
    } else {
        const std::string& last = chosen.back();
        runsChosen = run.trainer.running && run.trainer.running->name == last &&
                     run.trainer.holdsExactly(testing::BlocksOf(last));
        r.holds = runsChosen ? "yes" : "no";
    }

    r.success = run.finalState == psfFinishOK || Contains(run.messages, kSuccessMessage);

    // How it ended for the user.
    static const std::set<TProgrammingStateFota> failureStates = {psfError,
                                                                  psfAlreadyUpdated,
                                                                  psfErrorFirmwareImage,
                                                                  psfUpgradeNotPossible,
                                                                  psfZeroPositionError,
                                                                  psf64MicroBlock,
                                                                  psfNoNewFirmwareFound};
    bool failureShown = false;
    for (auto s : failureStates) {
        failureShown = failureShown || run.status == TMainForm::StatusText(s);
    }
    if (r.success) {
        r.end = "success message";
    } else if (run.terminated) {
        r.end = "\"Connection Lost\" message";
    } else if (!run.messages.empty()) {
        r.end = "message: " + run.messages.back();
    } else if (failureShown) {
        r.end = "shows: " + run.status;
    } else {
        r.end = "silent, shows: " + run.status;
    }

    if (run.upgradeSeconds >= kHangSeconds) {
        r.held = false;
        r.breach = hadWorker ? "no end: the worker was still running after 3 h"
                             : "no end: no upgrade started and nothing was shown for 3 h";
    } else if (r.success && chosen.empty()) {
        r.held = false;
        r.breach = "success told without any image sent";
    } else if (r.success && !runsChosen) {
        r.held = false;
        r.breach = "success told, but the trainer runs " + running + " instead of " + chosen.back();
    } else if (r.success && StartsWith(chosen.back(), "BOOTLOADER")) {
        r.held = false;
        r.breach = "success told with only a bootloader on the trainer";
    } else if (r.success && cell.trainer.correctedZero >= 0 &&
               run.trainer.zeroPosition != cell.trainer.correctedZero) {
        r.held = false;
        r.breach = "success told, but the zero position is still " +
                   std::to_string(run.trainer.zeroPosition) + " (should be " +
                   std::to_string(cell.trainer.correctedZero) + ")";
    } else if (r.success && run.finalState != psfFinishOK) {
        r.held = false;
        r.breach = "success message in state " + r.state;
    } else if (!r.success && StartsWith(r.end, "silent")) {
        r.held = false;
        r.breach =
            "the upgrade stopped in " + r.state + " and the window still shows a step in progress";
    }
    return r;
}

CellResult RunCell(const Cell& cell) {
    return Evaluate(cell, testing::RunUpgrade(cell.config()));
}

namespace {

std::string Clean(std::string s) {
    std::replace_if(
        s.begin(), s.end(), [](char c) { return c == '\t' || c == '\n' || c == '\r'; }, ' ');
    return s;
}

}  // namespace

std::string Serialize(const CellResult& r) {
    std::ostringstream s;
    s << Clean(r.id) << '\t' << Clean(r.trainer) << '\t' << Clean(r.group) << '\t' << Clean(r.fault)
      << '\t' << r.seed << '\t' << Clean(r.state) << '\t' << Clean(r.end) << '\t' << Clean(r.chosen)
      << '\t' << Clean(r.holds) << '\t' << std::setprecision(10) << r.upgradeSeconds << '\t'
      << r.retries << '\t' << r.success << '\t' << r.held << '\t' << Clean(r.breach);
    return s.str();
}

bool Deserialize(const std::string& line, CellResult& r) {
    std::vector<std::string> f;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, '\t')) {
        f.push_back(field);
    }
    if (!line.empty() && line.back() == '\t') {
        f.emplace_back();
    }
    if (f.size() != 14) {
        return false;
    }
    try {
        r.id = f[0];
        r.trainer = f[1];
        r.group = f[2];
        r.fault = f[3];
        r.seed = static_cast<std::uint32_t>(std::stoul(f[4]));
        r.state = f[5];
        r.end = f[6];
        r.chosen = f[7];
        r.holds = f[8];
        r.upgradeSeconds = std::stod(f[9]);
        r.retries = std::stoi(f[10]);
        r.success = f[11] == "1";
        r.held = f[12] == "1";
        r.breach = f[13];
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

std::string Markdown(const std::vector<CellResult>& results, const MatrixSummary& summary) {
    std::ostringstream md;
    const auto held =
        std::count_if(results.begin(), results.end(), [](const CellResult& r) { return r.held; });
    md << "**Cells held: " << held << " / " << results.size() << "**";
    md << " (" << summary.seeds << (summary.seeds == 1 ? " seed" : " seeds")
       << " for the random faults; generated by `" << summary.command << "` in " << std::fixed
       << std::setprecision(0) << summary.wallSeconds << " s of wall time)\n\n";

    // Breaches first: they are what a reader needs.
    std::map<std::string, std::vector<const CellResult*>> breaches;
    for (const auto& r : results) {
        if (!r.held) {
            breaches[r.breach].push_back(&r);
        }
    }
    if (breaches.empty()) {
        md << "No cell broke the invariant.\n\n";
    } else {
        md << "Cells that broke the invariant, by what went wrong:\n\n";
        for (const auto& [why, cells] : breaches) {
            md << "- " << why << " (" << cells.size() << "):";
            for (std::size_t i = 0; i < cells.size(); ++i) {
                md << (i ? ";" : "") << " " << cells[i]->trainer << ", " << cells[i]->group << ": "
                   << cells[i]->fault;
                if (cells[i]->seed > 1 || summary.seeds > 1) {
                    md << " (seed " << cells[i]->seed << ")";
                }
            }
            md << "\n";
        }
        md << "\n";
    }

    std::string trainer;
    for (const auto& r : results) {
        if (r.trainer != trainer) {
            trainer = r.trainer;
            md << "\n### " << trainer << "\n\n";
            md << "| fault | seed | final state | end | images chosen | holds the last | "
                  "protocol time (s) | retries | invariant |\n";
            md << "|---|---|---|---|---|---|---|---|---|\n";
        }
        md << "| " << r.group << ": " << r.fault << " | " << r.seed << " | " << r.state << " | "
           << r.end << " | " << r.chosen << " | " << r.holds << " | " << std::fixed
           << std::setprecision(1) << r.upgradeSeconds << " | " << r.retries << " | "
           << (r.held ? "held" : "**broken**: " + r.breach) << " |\n";
    }
    return md.str();
}

}  // namespace fota::reliability
