// The simulator's command-line options, shared by fota-sim, fota-cli and the
// window program: what each one sets, and wrong values refused by name.

#include "sim/SimOptions.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <string>
#include <vector>

using namespace fota;
using namespace fota::sim;
using namespace std::chrono_literals;

namespace {

// Reads `args` as a program does: each one through the reader, the values
// it asks for taken from the arguments after it.
struct Read {
    explicit Read(const std::vector<std::string>& args) {
        SimOptionReader reader(config);
        ArgWalker walk(args);
        while (!walk.done() && !error) {
            const std::string option = walk.next();
            if (!reader.read(option, walk, error)) {
                unknown.push_back(option);
            }
        }
        any = reader.any();
        reader.finish();
    }
    SimConfig config;
    std::optional<std::string> error;
    std::vector<std::string> unknown;
    bool any = false;
};

TEST(SimOptions, EachOptionSetsItsKnob) {
    const struct {
        std::vector<std::string> args;
        std::function<void(const SimConfig&)> check;
    } cases[] = {
        {{"--model", "LO", "--bootloader", "--bootloader-subversion", "85"},
         [](const SimConfig& c) {
             EXPECT_EQ(c.trainer.model, Model::LO);
             EXPECT_TRUE(c.trainer.runsBootloader);
             EXPECT_EQ(c.trainer.bootloaderSubVersion, 85);
             EXPECT_EQ(c.trainer.unitType, firmwareUnitType(Model::LO));
         }},
        {{"--model", "LO", "--unit-type", "10"},  // a given unit type stays
         [](const SimConfig& c) { EXPECT_EQ(c.trainer.unitType, 10); }},
        {{"--unit-type", "10", "--model", "WEK"},  // in either order
         [](const SimConfig& c) { EXPECT_EQ(c.trainer.unitType, 10); }},
        {{"--restart-ms", "0", "--version-page-every", "7", "--zero-position", "255"},
         [](const SimConfig& c) {
             EXPECT_EQ(c.trainer.restartTime, 0ms);
             EXPECT_EQ(c.trainer.versionPageEvery, 7u);
             EXPECT_EQ(c.trainer.zeroPosition, 255);
         }},
        {{"--drop-from-trainer", "1", "--fail-acked", "0", "--line-garbage", "0.5",
          "--line-corrupt", "1e-2"},
         [](const SimConfig& c) {
             EXPECT_EQ(c.faults.dropFromTrainer.at(PageKind::Any).fraction, 1.0);
             EXPECT_EQ(c.faults.failAckedSends.fraction, 0.0);
             EXPECT_EQ(c.faults.lineGarbage, 0.5);
             EXPECT_EQ(c.faults.lineCorrupt, 0.01);
         }},
        {{"--withhold-block-acks", "always", "--withhold-block-ack", "3", "--withhold-block-ack",
          "9"},
         [](const SimConfig& c) {
             EXPECT_EQ(c.faults.blockAcks, Faults::BlockAcks::Withheld);
             EXPECT_EQ(c.faults.withholdBlockAckFor, (std::vector<unsigned>{3, 9}));
         }},
        {{"--disappear-after-requests", "12"},
         [](const SimConfig& c) {
             EXPECT_EQ(c.faults.disappear.kind, When::Kind::AfterRequests);
             EXPECT_EQ(c.faults.disappear.count, 12u);
         }},
        {{"--disappear-after-blocks", "2", "--disappear-at-exit"},  // the last one holds
         [](const SimConfig& c) { EXPECT_EQ(c.faults.disappear.kind, When::Kind::AtProgramExit); }},
        {{"--faulty-bootloader", "--no-unit-type-after-restart", "--zero-write-unconfirmed"},
         [](const SimConfig& c) {
             EXPECT_TRUE(c.faults.faultyBootloader);
             EXPECT_TRUE(c.faults.noUnitTypeAfterRestart);
             EXPECT_TRUE(c.faults.zeroWriteUnconfirmed);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        const Read r(c.args);
        ASSERT_FALSE(r.error) << *r.error;
        EXPECT_TRUE(r.unknown.empty());
        EXPECT_TRUE(r.any);
        c.check(r.config);
    }
}

TEST(SimOptions, OtherOptionsAreLeftToTheProgramWithTheirValues) {
    const Read r({"--port", "--speed", "--device-number", "--sim-speed", "--help"});
    EXPECT_FALSE(r.error);
    EXPECT_FALSE(r.any);
    EXPECT_EQ(r.unknown, (std::vector<std::string>{"--port", "--speed", "--device-number",
                                                   "--sim-speed", "--help"}));
    // Without a --model or --unit-type, the default trainer reports its
    // firmware's unit type.
    EXPECT_EQ(r.config.trainer.unitType, firmwareUnitType(r.config.trainer.model));
}

TEST(SimOptions, WrongValuesAreRefusedNamingTheOption) {
    const struct {
        std::vector<std::string> args;
        const char* error;
    } cases[] = {
        {{"--version"}, "--version needs a number from 0 to 255"},
        {{"--zero-position", "256"}, "--zero-position needs a number from 0 to 255"},
        {{"--bootloader-subversion", "+85"},
         "--bootloader-subversion needs a number from 0 to 255"},
        {{"--restart-ms", "-1"}, "--restart-ms needs a whole number from 0 up"},
        {{"--seed", "4294967296"}, "--seed needs a whole number from 0 up"},
        {{"--withhold-block-ack", "0"}, "--withhold-block-ack needs a whole number from 1 up"},
        {{"--disappear-after-blocks", " 3"},
         "--disappear-after-blocks needs a whole number from 1 up"},
        {{"--vanish-after-blocks"}, "--vanish-after-blocks needs a whole number from 1 up"},
        {{"--line-garbage", "nan"}, "--line-garbage needs a share from 0 to 1"},
        {{"--fail-acked", "-0.1"}, "--fail-acked needs a share from 0 to 1"},
        {{"--drop-to-trainer", "inf"}, "--drop-to-trainer needs a share from 0 to 1"},
        {{"--withhold-block-acks"}, "--withhold-block-acks needs first or always"},
        {{"--model"}, "--model needs one of KOV PU LO WEK DUF TOBE GILNO MUSEK"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        const Read r(c.args);
        ASSERT_TRUE(r.error);
        EXPECT_EQ(*r.error, c.error);
    }
}

TEST(SimOptions, NumbersAreTheWholeTextAndNothingElse) {
    const struct {
        const char* text;
        std::optional<unsigned> whole;
        std::optional<double> real;
    } cases[] = {
        {"0", 0u, 0.0},
        {"4294967295", std::numeric_limits<unsigned>::max(), 4294967295.0},
        {"4294967296", std::nullopt, 4294967296.0},
        {"007", 7u, 7.0},
        {"2.5", std::nullopt, 2.5},
        {"1e3", std::nullopt, 1000.0},
        {"", std::nullopt, std::nullopt},
        {"+1", std::nullopt, 1.0},
        {"-1", std::nullopt, -1.0},
        {" 1", std::nullopt, std::nullopt},
        {"1 ", std::nullopt, std::nullopt},
        {"0x10", std::nullopt, 16.0},
        {"inf", std::nullopt, std::nullopt},
        {"nan", std::nullopt, std::nullopt},
        {"1e999", std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(UnsignedArgument(c.text), c.whole);
        EXPECT_EQ(RealArgument(c.text), c.real);
    }
}

}  // namespace
