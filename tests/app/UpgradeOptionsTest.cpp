// The command lines of fota-cli's upgrade and plan: what each option sets,
// and the wrong ones refused with a message.

#include "app/UpgradeOptions.h"

#include <gtest/gtest.h>

#include <functional>

#include "app/Cli.h"
#include "tests/app/CliRun.h"

using namespace fota;
using namespace fota::cli;

namespace {

using Stick = UpgradeOptions::Stick;

struct Good {
    std::vector<std::string> args;
    std::function<void(const UpgradeOptions&)> check;
};

TEST(UpgradeOptions, EachOptionSetsItsField) {
    const Good cases[] = {
        {{},
         [](const UpgradeOptions& o) {
             EXPECT_EQ(o.stick, Stick::Auto);
             EXPECT_FALSE(o.deviceNumber);
             EXPECT_FALSE(o.acceptAgreement);
             EXPECT_EQ(o.speed, 1.0);
         }},
        {{"--port", "/dev/ttyUSB0"},
         [](const UpgradeOptions& o) {
             EXPECT_EQ(o.stick, Stick::Port);
             EXPECT_EQ(o.port, "/dev/ttyUSB0");
         }},
        {{"--usb"}, [](const UpgradeOptions& o) { EXPECT_EQ(o.stick, Stick::Usb); }},
        {{"--device-number", "0012"},
         [](const UpgradeOptions& o) { EXPECT_EQ(o.deviceNumber, 12); }},
        {{"--device-number", "$FFFF"},
         [](const UpgradeOptions& o) { EXPECT_EQ(o.deviceNumber, 0xFFFF); }},
        {{"--device-number", "0"}, [](const UpgradeOptions& o) { EXPECT_EQ(o.deviceNumber, 0); }},
        {{"-v", "--verbose", "--json", "--dry-run", "--accept-agreement", "--log-dir", "d"},
         [](const UpgradeOptions& o) {
             EXPECT_EQ(o.verbosity, 2);
             EXPECT_TRUE(o.json && o.dryRun && o.acceptAgreement);
             EXPECT_EQ(o.logDir, "d");
         }},
        {{"--simulate", "--model", "WEK"},
         [](const UpgradeOptions& o) {
             EXPECT_EQ(o.stick, Stick::Simulate);
             EXPECT_EQ(o.simulation.trainer.model, sim::Model::WEK);
             EXPECT_EQ(o.simulation.trainer.unitType, 17);  // the model's firmware's
         }},
        {{"--simulate", "--model", "WEK", "--unit-type", "13", "--version", "255", "--subversion",
          "0", "--zero-position", "3", "--sim-device-number", "65535"},
         [](const UpgradeOptions& o) {
             const auto& t = o.simulation.trainer;
             EXPECT_EQ(t.unitType, 13);
             EXPECT_EQ(t.version, 255);
             EXPECT_EQ(t.zeroPosition, 3);
             EXPECT_EQ(t.deviceNumber, 65535);
             EXPECT_TRUE(o.simDeviceNumberGiven);
         }},
        {{"--simulate", "--sim-speed", "12.5"},
         [](const UpgradeOptions& o) { EXPECT_EQ(o.speed, 12.5); }},
        {{"--simulate", "--virtual-time", "--seed", "7", "--fail-burst", "2", "--fail-burst", "5",
          "--withhold-block-acks", "first", "--drop-to-trainer", "0.25", "--vanish-after-blocks",
          "4"},
         [](const UpgradeOptions& o) {
             const auto& f = o.simulation.faults;
             EXPECT_TRUE(o.virtualTime);
             EXPECT_EQ(o.simulation.seed, 7u);
             EXPECT_EQ(f.failBursts.nth, (std::vector<unsigned>{2, 5}));
             EXPECT_EQ(f.blockAcks, sim::Faults::BlockAcks::FirstRequestWithheld);
             EXPECT_EQ(f.dropToTrainer.at(sim::PageKind::Any).fraction, 0.25);
             EXPECT_EQ(f.stickVanishes.kind, sim::When::Kind::AfterBlocks);
             EXPECT_EQ(f.stickVanishes.count, 4u);
         }},
    };
    for (const Good& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        UpgradeOptions o;
        const auto error = ParseUpgradeOptions(c.args, o);
        ASSERT_FALSE(error) << *error;
        c.check(o);
    }
}

TEST(UpgradeOptions, WrongCommandLinesAreRefusedWithTheReason) {
    const struct {
        std::vector<std::string> args;
        const char* error;
    } cases[] = {
        {{"--frob"}, "unknown option '--frob'"},
        {{"--port"}, "--port needs"},
        {{"--port", ""}, "--port needs"},
        {{"--port", "/dev/ttyUSB0", "--simulate"}, "choose one of --port, --usb and --simulate"},
        {{"--device-number"}, "--device-number needs"},
        {{"--device-number", "-1"}, "--device-number needs"},
        {{"--device-number", "65536"}, "--device-number needs"},
        {{"--device-number", "12 "}, "--device-number needs"},
        {{"--device-number", "abc"}, "--device-number needs"},
        {{"--version", "90"}, "the simulated trainer's options need --simulate"},
        {{"--sim-speed", "5"}, "the simulated trainer's options need --simulate"},
        {{"--simulate", "--version", "256"}, "--version needs a number from 0 to 255"},
        {{"--simulate", "--version", "-1"}, "--version needs a number from 0 to 255"},
        {{"--simulate", "--model", "XYZ"}, "--model needs one of"},
        {{"--simulate", "--sim-speed", "0"}, "--sim-speed needs a factor from 0.1 to 1000"},
        {{"--simulate", "--sim-speed", "nan"}, "--sim-speed needs"},
        {{"--simulate", "--sim-speed", "1e9"}, "--sim-speed needs"},
        {{"--simulate", "--sim-speed", "2", "--virtual-time"}, "choose one of --sim-speed"},
        {{"--simulate", "--drop-to-trainer", "1.5"}, "--drop-to-trainer needs a share"},
        {{"--simulate", "--fail-burst", "0"}, "--fail-burst needs a whole number from 1 up"},
        {{"--simulate", "--sim-device-number", "0"}, "--sim-device-number needs"},
        {{"--simulate", "--sim-device-number", "70000"}, "--sim-device-number needs"},
        {{"--simulate", "--withhold-block-acks", "sometimes"}, "--withhold-block-acks needs"},
        {{"--log-dir"}, "--log-dir needs a folder"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        UpgradeOptions o;
        const auto error = ParseUpgradeOptions(c.args, o);
        ASSERT_TRUE(error);
        EXPECT_EQ(error->rfind(c.error, 0), 0u) << *error;
    }
}

TEST(UpgradeOptions, UsageErrorsEndWithStatus2BeforeAnythingHappens) {
    const fota::testing::CliRun r = fota::testing::RunCli({"--simulate", "--version", "999"});
    EXPECT_EQ(r.status, kExitUsage);
    EXPECT_EQ(r.err, "fota-cli: --version needs a number from 0 to 255\n(see fota-cli --help)\n");
    EXPECT_EQ(r.out, "");
}

TEST(UpgradeOptions, HelpListsTheOptionsAndEveryExitStatus) {
    const fota::testing::CliRun r = fota::testing::RunCli({"--help"});
    EXPECT_EQ(r.status, kExitOk);
    for (const ExitStatus& s : ExitStatuses()) {
        EXPECT_NE(r.out.find(std::string(s.meaning)), std::string::npos) << s.meaning;
    }
    for (const char* option : {"--port PATH", "--simulate", "--accept-agreement", "--device-number",
                               "--dry-run", "--json", "--sim-speed", "plan --version V"}) {
        EXPECT_NE(r.out.find(option), std::string::npos) << option;
    }
}

TEST(PlanOptions, NeedVersionAndUnitType) {
    const struct {
        std::vector<std::string> args;
        bool ok;
    } cases[] = {
        {{"--version", "90", "--unit-type", "14"}, true},
        {{"--version", "1", "--subversion", "86", "--unit-type", "9", "--json"}, true},
        {{"--version", "90"}, false},
        {{"--unit-type", "14"}, false},
        {{"--version", "256", "--unit-type", "14"}, false},
        {{"--version", "90", "--unit-type", "14", "--port", "x"}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        PlanOptions o;
        EXPECT_EQ(!ParsePlanOptions(c.args, o), c.ok);
    }
}

}  // namespace
