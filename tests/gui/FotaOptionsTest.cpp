// The window program's command line.

#include <gtest/gtest.h>

#include "app/fota/FotaOptions.h"

using fota::app::FotaOptions;
using fota::app::ParseFotaOptions;

namespace {

struct Case {
    const char* name;
    std::vector<std::string> args;
    std::string error;  // "" when accepted
};

class FotaOptionsErrors : public ::testing::TestWithParam<Case> {};

TEST_P(FotaOptionsErrors, AreRefusedWithAReason) {
    FotaOptions o;
    const auto error = ParseFotaOptions(GetParam().args, o);
    if (GetParam().error.empty()) {
        EXPECT_FALSE(error) << *error;
    } else {
        ASSERT_TRUE(error);
        EXPECT_EQ(*error, GetParam().error);
    }
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, FotaOptionsErrors,
    ::testing::Values(
        Case{"none", {}, ""},
        Case{"simulate_with_knobs",
             {"--simulate", "--model", "WEK", "--version", "95", "--subversion", "3", "--unit-type",
              "17", "--bootloader", "--sim-speed", "20"},
             ""},
        Case{"unknown", {"--simulated"}, "unknown option '--simulated'"},
        Case{"two_sticks", {"--usb", "--simulate"}, "choose one of --port, --usb and --simulate"},
        Case{"port_without_path", {"--port"}, "--port needs the path of the stick's serial port"},
        Case{"knob_without_simulate",
             {"--version", "90"},
             "the simulated trainer's options need --simulate"},
        Case{"fault_without_simulate",
             {"--line-garbage", "0.1"},
             "the simulated trainer's options need --simulate"},
        Case{"speed_without_simulate",
             {"--sim-speed", "2"},
             "the simulated trainer's options need --simulate"},
        Case{"version_too_big",
             {"--simulate", "--version", "256"},
             "--version needs a number from 0 to 255"},
        Case{"version_negative",
             {"--simulate", "--version", "-1"},
             "--version needs a number from 0 to 255"},
        Case{"version_missing",
             {"--simulate", "--version"},
             "--version needs a number from 0 to 255"},
        Case{"speed_zero",
             {"--simulate", "--sim-speed", "0"},
             "--sim-speed needs a factor from 0.1 to 100"},
        Case{"speed_text",
             {"--simulate", "--sim-speed", "fast"},
             "--sim-speed needs a factor from 0.1 to 100"},
        Case{"speed_nan",
             {"--simulate", "--sim-speed", "nan"},
             "--sim-speed needs a factor from 0.1 to 100"},
        Case{"model_unknown",
             {"--simulate", "--model", "kov"},
             "--model needs one of KOV PU LO WEK DUF TOBE GILNO MUSEK"},
        Case{
            "screenshots_for_real", {"--screenshots", "/tmp/x"}, "--screenshots needs --simulate"}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(FotaOptions, ChooseTheStickAndTheSimulatedTrainer) {
    FotaOptions o;
    ASSERT_FALSE(ParseFotaOptions(
        {"--port", "/dev/ttyUSB3", "--log-dir", "/tmp/l", "--record", "/tmp/s.rec"}, o));
    EXPECT_EQ(o.stick, FotaOptions::Stick::Port);
    EXPECT_EQ(o.port, "/dev/ttyUSB3");
    EXPECT_EQ(o.logDir, "/tmp/l");
    EXPECT_EQ(o.recordFile, "/tmp/s.rec");

    FotaOptions s;
    ASSERT_FALSE(ParseFotaOptions(
        {"--simulate", "--model", "PU", "--version", "80", "--sim-speed", "12.5"}, s));
    EXPECT_EQ(s.stick, FotaOptions::Stick::Simulate);
    EXPECT_EQ(s.simulation.trainer.model, fota::sim::Model::PU);
    EXPECT_EQ(s.simulation.trainer.version, 80);
    EXPECT_EQ(s.simulation.trainer.unitType, 16);  // the model's firmware unit type
    EXPECT_DOUBLE_EQ(s.speed, 12.5);

    // The simulator's fault knobs, read as fota-cli and fota-sim read them.
    FotaOptions f;
    ASSERT_FALSE(ParseFotaOptions(
        {"--simulate", "--line-garbage", "0.2", "--fail-burst", "3", "--disappear-at-exit"}, f));
    EXPECT_EQ(f.simulation.faults.lineGarbage, 0.2);
    EXPECT_EQ(f.simulation.faults.failBursts.nth, std::vector<unsigned>{3});
    EXPECT_EQ(f.simulation.faults.disappear.kind, fota::sim::When::Kind::AtProgramExit);

    FotaOptions d;
    ASSERT_FALSE(ParseFotaOptions({}, d));
    EXPECT_EQ(d.stick, FotaOptions::Stick::Auto);
    EXPECT_DOUBLE_EQ(d.speed, 1.0);
}

}  // namespace
