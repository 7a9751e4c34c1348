// Whole upgrades against the simulated stick and trainer, in virtual time:
// the final state, the event log, and what the trainer holds afterwards.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "platform/MakerInfo.h"
#include "tests/e2e/UpgradeHarness.h"

using namespace fota;
using namespace fota::testing;

namespace {

using Lines = std::vector<std::string>;

// Runs of "WaitingForBoot...." fold into one line "WaitingForBoot.... xN".
Lines Folded(const Lines& log) {
    Lines out;
    for (const auto& l : log) {
        if (l == "WaitingForBoot....") {
            if (!out.empty() && out.back().rfind("WaitingForBoot.... x", 0) == 0) {
                out.back() =
                    "WaitingForBoot.... x" + std::to_string(std::stoi(out.back().substr(20)) + 1);
                continue;
            }
            out.push_back("WaitingForBoot.... x1");
            continue;
        }
        out.push_back(l);
    }
    return out;
}

Lines StartupLines(int device = 1234) {
    return {"ANT DLLs found!", "Run time Mode!", "FormCreate",
            "Trainer Device Number " + std::to_string(device), "Console Device Number -1"};
}

Lines VersionQuery(int version) {
    return {"Request Firmware Version (send) ",
            "Firmware version received " + std::to_string(version)};
}

Lines UnitTypeQuery(int unitType) {
    return {"Request Unit Type (send) ", "Unit Type received :  " + std::to_string(unitType)};
}

// One image sent without a fault, up to the restart.
Lines Transfer(const std::string& image) {
    Lines l = {"Firware Selected -> " + image, "ANT_SendAcknowledgedData Start Program Mode (FOTA)",
               "FOTA mode activated", "Start Transmission"};
    for (int k = 1; k <= BlockCount(image); ++k) {
        l.push_back("ANT_SendBurstTransfer (Try 0) of pck n°" + std::to_string(k));
        l.push_back("Burst Event Tx confirmed");
        l.push_back("ANT_SendAcknowledgedData Request for ack pck n° " + std::to_string(k));
    }
    l.insert(l.end(), {"Trasmission End", "ANT_SendAcknowledgedData Exit Program Mode (FOTA)",
                       "Correct Exit FOTA mode!"});
    return l;
}

Lines operator+(Lines a, const Lines& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Compares a folded log with the expected one, where "WaitingForBoot.... x*"
// stands for any number of boot-wait lines from 1 to 41.
void ExpectLog(const Lines& actual, const Lines& expected) {
    const Lines folded = Folded(actual);
    ASSERT_EQ(folded.size(), expected.size()) << ::testing::PrintToString(folded);
    for (std::size_t i = 0; i < expected.size(); ++i) {
        if (expected[i] == "WaitingForBoot.... x*") {
            ASSERT_EQ(folded[i].rfind("WaitingForBoot.... x", 0), 0u) << i << ": " << folded[i];
            const int n = std::stoi(folded[i].substr(20));
            EXPECT_GE(n, 1);
            EXPECT_LE(n, 41);
        } else {
            ASSERT_EQ(folded[i], expected[i]) << "line " << i;
        }
    }
}

const Lines kFinish = {"Programmation terminate with -> OK"};

TEST(Upgrade, OldKovFirmwareGetsTheBootloaderThenItsFirmware) {
    sim::SimConfig config;
    config.trainer.model = sim::Model::KOV;
    config.trainer.version = 80;
    config.trainer.unitType = 14;
    const UpgradeRun run = RunUpgrade(config);

    EXPECT_EQ(run.finalState, psfFinishOK) << ::testing::PrintToString(run.messages);
    ASSERT_EQ(run.trainer.sessions.size(), 2u);
    EXPECT_TRUE(run.trainer.sessions[0].holdsExactly(BlocksOf("BOOTLOADER64")));
    EXPECT_TRUE(run.trainer.sessions[1].holdsExactly(BlocksOf("FW_KOV_64")));
    EXPECT_EQ(run.trainer.sessions[1].outcome, sim::ProgrammingSession::Outcome::RanFirmware);

    ExpectLog(run.eventLog, StartupLines() + VersionQuery(80) + UnitTypeQuery(14) +
                                Lines{"Select Firmware to send"} + Transfer("BOOTLOADER64") +
                                Lines{"WaitingForBoot.... x*"} + VersionQuery(1) +
                                Lines{"Bootloader programmed,going to send firmware. UnitType: 9",
                                      "Bootloader updated!! ", "Select Firmware to send"} +
                                Transfer("FW_KOV_64") + Lines{"WaitingForBoot.... x*"} +
                                VersionQuery(run.trainer.version) + kFinish);
    EXPECT_EQ(run.messages, Lines{"Firmware Upgraded Successfully!"});
    EXPECT_EQ(run.downloadDialogs, std::vector<std::uint8_t>{run.trainer.unitType});
    EXPECT_EQ(run.exitCode, 0);
    // The log file ends with the window's destruction line.
    EXPECT_NE(run.logFile.find("FormDestroy "), std::string::npos);
}

TEST(Upgrade, BootloaderReportingItsUnitTypeSkipsTheUnitTypeQuery) {
    sim::SimConfig config;
    config.trainer.model = sim::Model::LO;
    config.trainer.runsBootloader = true;
    config.trainer.bootloaderSubVersion = 86;
    const UpgradeRun run = RunUpgrade(config);
    EXPECT_EQ(run.finalState, psfFinishOK);
    ASSERT_EQ(run.trainer.sessions.size(), 1u);
    EXPECT_TRUE(run.trainer.sessions[0].holdsExactly(BlocksOf("FW_LO_128")));
    ExpectLog(run.eventLog, StartupLines() + VersionQuery(1) + Lines{"Select Firmware to send"} +
                                Transfer("FW_LO_128") + Lines{"WaitingForBoot.... x*"} +
                                VersionQuery(run.trainer.version) + kFinish);
}

TEST(Upgrade, WekFirmwareEndsByCorrectingTheZeroPosition) {
    sim::SimConfig config;
    config.trainer.model = sim::Model::WEK;
    config.trainer.version = 112;
    config.trainer.unitType = 17;
    config.trainer.zeroPosition = 10;
    const UpgradeRun run = RunUpgrade(config);
    EXPECT_EQ(run.finalState, psfFinishOK);
    EXPECT_EQ(run.trainer.zeroPosition, 20);
    ExpectLog(run.eventLog,
              StartupLines() + VersionQuery(112) + UnitTypeQuery(17) +
                  Lines{"Select Firmware to send", "is64Micro.", "FFirmwareName := FW_WEK_64"} +
                  Transfer("FW_WEK_64") + Lines{"WaitingForBoot.... x*"} +
                  VersionQuery(run.trainer.version) +
                  Lines{"Request Zero Position (send) ", "Zero Position :  10",
                        "Request Write Zero Position (send) [20]", "Zero Position writed :  20",
                        "SetZeroPosition writed !"} +
                  kFinish);
}

TEST(Upgrade, SameScenarioSameSeedSameLogFile) {
    sim::SimConfig config;
    config.trainer.version = 90;
    config.faults.lineGarbage = 0.05;
    config.faults.dropFromTrainer[sim::PageKind::Any] = sim::Pick::share(0.02);
    config.seed = 7;
    const UpgradeRun a = RunUpgrade(config);
    const UpgradeRun b = RunUpgrade(config);
    EXPECT_EQ(a.logFile, b.logFile);
    EXPECT_EQ(a.logBox, b.logBox);
    EXPECT_EQ(a.finalState, b.finalState);
}

struct Scenario {
    std::string name;
    std::function<void(sim::SimConfig&)> setup;
    TProgrammingStateFota finalState;
    Lines images;  // what each programming session must hold, in order
    bool failed = false;
    std::function<void(const UpgradeRun&)> check = nullptr;
    bool partialSession = false;  // one more session than images, cut short
};

void PrintTo(const Scenario& s, std::ostream* os) {
    *os << s.name;
}

sim::Model ModelOf(std::uint8_t unitType) {
    switch (unitType) {
        case 9:
        case 14:
            return sim::Model::KOV;
        case 11:
        case 16:
            return sim::Model::PU;
        case 12:
        case 15:
            return sim::Model::LO;
        case 13:
        case 17:
            return sim::Model::WEK;
        case 18:
            return sim::Model::DUF;
        case 19:
            return sim::Model::TOBE;
        case 20:
            return sim::Model::MUSEK;
        default:
            return sim::Model::DUF;  // a model without a bootloader stage
    }
}

auto Trainer(int version, std::uint8_t unitType, int subVersion = 0) {
    return [=](sim::SimConfig& c) {
        c.trainer.model = ModelOf(unitType);
        c.trainer.version = static_cast<std::uint8_t>(version);
        c.trainer.unitType = unitType;
        c.trainer.subVersion = static_cast<std::uint8_t>(subVersion);
    };
}

auto InBootloader(std::uint8_t unitType, int subVersion) {
    return [=](sim::SimConfig& c) {
        c.trainer.model = ModelOf(unitType);
        c.trainer.runsBootloader = true;
        c.trainer.bootloaderSubVersion = static_cast<std::uint8_t>(subVersion);
    };
}

template <typename... F>
auto All(F... f) {
    return [=](sim::SimConfig& c) { (f(c), ...); };
}

bool Contains(const Lines& log, const std::string& line) {
    return std::find(log.begin(), log.end(), line) != log.end();
}

std::size_t Count(const Lines& log, const std::string& prefix) {
    return static_cast<std::size_t>(std::count_if(
        log.begin(), log.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }));
}

class Scenarios : public ::testing::TestWithParam<Scenario> {};

TEST_P(Scenarios, EndsInTheRightStateHoldingTheChosenImages) {
    const Scenario& s = GetParam();
    sim::SimConfig config;
    s.setup(config);
    const UpgradeRun run = RunUpgrade(config);
    EXPECT_EQ(run.finalState, s.finalState) << StateName(run.finalState);
    EXPECT_EQ(run.upgradeFailed, s.failed);
    ASSERT_EQ(run.trainer.sessions.size(), s.images.size() + (s.partialSession ? 1 : 0));
    for (std::size_t i = 0; i < s.images.size(); ++i) {
        EXPECT_TRUE(run.trainer.sessions[i].holdsExactly(BlocksOf(s.images[i])))
            << s.images[i] << ": " << run.trainer.sessions[i].verdict;
    }
    // Success is told only when the trainer runs the last image sent.
    const bool success = Contains(run.messages, "Firmware Upgraded Successfully!");
    EXPECT_EQ(success, s.finalState == psfFinishOK);
    if (success) {
        ASSERT_FALSE(s.images.empty());
        ASSERT_TRUE(run.trainer.running);
    }
    if (s.check) {
        s.check(run);
    }
}

std::vector<Scenario> BootloaderPaths() {
    std::vector<Scenario> out;
    out.push_back(
        {"v90_kov_128_bootloader", Trainer(90, 14), psfFinishOK, {"BOOTLOADER128", "FW_KOV_128"}});
    const std::pair<std::uint8_t, const char*> models[] = {
        {9, "KOV"}, {11, "PU"}, {12, "LO"}, {13, "WEK"}};
    for (auto [u, code] : models) {
        for (int s : {85, 86}) {
            out.push_back({"v1_s" + std::to_string(s) + "_u" + std::to_string(u),
                           InBootloader(u, s),
                           psfFinishOK,
                           {std::string("FW_") + code + (s == 85 ? "_64" : "_128")}});
        }
    }
    out.push_back({"v1_u10_not_possible",
                   InBootloader(10, 85),
                   psfUpgradeNotPossible,
                   {},
                   false,
                   [](const UpgradeRun& r) {
                       EXPECT_TRUE(Contains(r.eventLog, "Upgrade not avalaible!!!!"));
                       EXPECT_EQ(r.status, "Upgrade not possible!");
                   }});
    return out;
}

std::vector<Scenario> FirmwarePaths() {
    std::vector<Scenario> out;
    const std::pair<std::uint8_t, const char*> models[] = {{14, "KOV"}, {15, "LO"},  {16, "PU"},
                                                           {17, "WEK"}, {18, "DUF"}, {19, "TOBE"}};
    const std::pair<int, const char*> classes[] = {
        {95, "_128"}, {97, "_128B"}, {112, "_64"}, {129, "_256"}};
    for (auto [u, code] : models) {
        for (auto [v, suffix] : classes) {
            out.push_back({std::string(code) + suffix + "_from_v" + std::to_string(v),
                           Trainer(v, u),
                           psfFinishOK,
                           {std::string("FW_") + code + suffix}});
        }
    }
    out.push_back({"musek_v27", Trainer(27, 20), psfFinishOK, {"FW_MUSEK_256"}});
    out.push_back({"musek_v28_up_to_date",
                   Trainer(28, 20),
                   psfAlreadyUpdated,
                   {},
                   false,
                   [](const UpgradeRun& r) {
                       EXPECT_EQ(r.status,
                                 "The system is already updated, no action required! Close the "
                                 "software.");
                   }});
    return out;
}

std::vector<Scenario> ZeroPositionPaths() {
    auto zero = [](int z) {
        return [=](sim::SimConfig& c) { c.trainer.zeroPosition = static_cast<std::uint8_t>(z); };
    };
    auto endsWith = [](int written) {
        return [=](const UpgradeRun& r) {
            EXPECT_EQ(r.trainer.zeroPosition, written);
            EXPECT_TRUE(Contains(r.eventLog, "SetZeroPosition writed !"));
        };
    };
    return {
        {"wek_zero_10_to_20",
         All(Trainer(112, 17), zero(10)),
         psfFinishOK,
         {"FW_WEK_64"},
         false,
         [=](const UpgradeRun& r) {
             endsWith(20)(r);
             EXPECT_TRUE(Contains(r.eventLog, "Request Write Zero Position (send) [20]"));
         }},
        {"wek_zero_3_to_6",
         All(Trainer(95, 17), zero(3)),
         psfFinishOK,
         {"FW_WEK_128"},
         false,
         endsWith(6)},
        {"wek_zero_20_left_alone",
         All(Trainer(97, 17), zero(20)),
         psfFinishOK,
         {"FW_WEK_128B"},
         false,
         [=](const UpgradeRun& r) {
             endsWith(20)(r);
             EXPECT_TRUE(Contains(r.eventLog, "Zero Position Upgrade not required!"));
             EXPECT_EQ(r.trainer.counters.zeroWrites, 0u);
         }},
        {"wek_zero_write_never_confirmed",
         All(Trainer(129, 17), zero(10),
             [](sim::SimConfig& c) { c.faults.zeroWriteUnconfirmed = true; }),
         psfZeroPositionError,
         {"FW_WEK_256"},
         true,
         [](const UpgradeRun& r) {
             EXPECT_EQ(Count(r.eventLog, "Request Write Zero Position (send) [20]"), 4u);
             EXPECT_TRUE(Contains(r.eventLog, std::string("SetZeroPosition Failed !!! contact ") +
                                                  maker::kSupportEmail + " !!!"));
             EXPECT_EQ(r.status, std::string("SetZeroPosition Failed,contact ") +
                                     maker::kSupportEmail + " !!!");
         }},
    };
}

std::vector<Scenario> UnknownVersions() {
    auto check = [](const UpgradeRun& r) {
        EXPECT_TRUE(Contains(
            r.eventLog, "Starting firmware version non available!!! [psfNoNewFirmwareFound] "));
        EXPECT_EQ(r.status,
                  "Starting firmware version is not found, please contact norvo. "
                  "[psfNoNewFirmwareFound]");
    };
    return {{"v128_no_firmware", Trainer(128, 14), psfNoNewFirmwareFound, {}, true, check},
            {"v135_no_firmware", Trainer(135, 14), psfNoNewFirmwareFound, {}, true, check}};
}

std::vector<Scenario> Faults() {
    return {
        {"burst_first_try_fails_and_is_resent",
         All(Trainer(95, 14), [](sim::SimConfig& c) { c.faults.failBursts = sim::Pick::at({1}); }),
         psfFinishOK,
         {"FW_KOV_128"},
         false,
         [](const UpgradeRun& r) {
             EXPECT_TRUE(Contains(r.eventLog, "ANT_SendBurstTransfer (Try 1) of pck n°1"));
         }},
        {"block_ack_never_comes_next_group_follows",
         All(Trainer(95, 14), [](sim::SimConfig& c) { c.faults.withholdBlockAckFor = {3}; }),
         psfFinishOK,
         {"FW_KOV_128"},
         false,
         [](const UpgradeRun& r) {
             EXPECT_EQ(Count(r.eventLog, "NACK for pck n° 3 try again."), 4u);
             EXPECT_TRUE(Contains(r.eventLog, "ANT_SendBurstTransfer (Try 0) of pck n°4"));
         }},
        {"restart_slower_than_the_boot_wait",
         All(Trainer(95, 14),
             [](sim::SimConfig& c) { c.trainer.restartTime = std::chrono::seconds(34); }),
         psfFinishOK,
         {"FW_KOV_128"},
         false,
         [](const UpgradeRun& r) { EXPECT_EQ(Count(r.eventLog, "WaitingForBoot...."), 41u); }},
        {"version_page_without_unit_type_after_restart",
         All(Trainer(80, 14), [](sim::SimConfig& c) { c.faults.noUnitTypeAfterRestart = true; }),
         psfUpgradeNotPossible,
         {"BOOTLOADER64"},
         false,
         [](const UpgradeRun& r) {
             // Version 1 without a unit type: the next pass keeps unit type 14
             // from the first queries, and version 1 with sub-version 0 selects
             // nothing.
             EXPECT_TRUE(Contains(r.eventLog,
                                  "Bootloader programmed,going to send firmware. UnitType: 14"));
             EXPECT_TRUE(Contains(r.eventLog, "Upgrade not avalaible!!!!"));
         }},
        {"unit_type_255_from_the_bootloader",
         All(Trainer(80, 14), [](sim::SimConfig& c) { c.faults.faultyBootloader = true; }),
         psfProgrammingBoot,
         {"BOOTLOADER64"},
         true,
         [](const UpgradeRun& r) {
             EXPECT_TRUE(
                 Contains(r.eventLog, "Bootloader not update correctly !! Unit type = 255 "));
             // The worker has ended: the window says the upgrade failed rather
             // than showing the bootloader step for ever.
             EXPECT_EQ(r.status, "Generic Error. Try Again!");
         }},
        {"trainer_disappears_mid_transfer",
         All(Trainer(95, 14),
             [](sim::SimConfig& c) { c.faults.disappear = sim::When::afterBlocks(5); }),
         psfError,
         {},
         true,
         [](const UpgradeRun& r) {
             // The bursts fail on the searching channel before the search times out.
             ASSERT_EQ(r.trainer.sessions.size(), 1u);
             EXPECT_EQ(r.trainer.sessions[0].blocks.size(), 5u);
             EXPECT_TRUE(Contains(r.eventLog, "ANT_SendBurstTransfer (Try 3) of pck n°6"));
             EXPECT_TRUE(Contains(r.eventLog, "Error in burst sending pack.<Abort>"));
             EXPECT_EQ(r.status, "Generic Error. Try Again!");
             EXPECT_FALSE(r.terminated);
         },
         true},
        {"trainer_disappears_during_the_boot_wait",
         All(Trainer(95, 14),
             [](sim::SimConfig& c) { c.faults.disappear = sim::When::atProgramExit(); }),
         psfProgrammingFirmware,
         {"FW_KOV_128"},
         false,
         [](const UpgradeRun& r) {
             EXPECT_TRUE(r.terminated);
             EXPECT_EQ(r.messages.back(),
                       "Connection Lost,restart the software and try to run it again.");
             // The channel is opened again for the restarting trainer.
             EXPECT_NE(std::find(r.logBox.begin(), r.logBox.end(), "Cmd - OpenChannel"),
                       r.logBox.end());
         }},
    };
}

std::string Name(const ::testing::TestParamInfo<Scenario>& p) {
    return p.param.name;
}

INSTANTIATE_TEST_SUITE_P(Bootloader, Scenarios, ::testing::ValuesIn(BootloaderPaths()), Name);
INSTANTIATE_TEST_SUITE_P(Firmware, Scenarios, ::testing::ValuesIn(FirmwarePaths()), Name);
INSTANTIATE_TEST_SUITE_P(ZeroPosition, Scenarios, ::testing::ValuesIn(ZeroPositionPaths()), Name);
INSTANTIATE_TEST_SUITE_P(UnknownVersion, Scenarios, ::testing::ValuesIn(UnknownVersions()), Name);
INSTANTIATE_TEST_SUITE_P(Faults, Scenarios, ::testing::ValuesIn(Faults()), Name);

}  // namespace
