#include <gtest/gtest.h>

#include <set>

#include "engine/FOTAComponent.h"
#include "engine/FirmwareSelection.h"
#include "image/ImageStore.h"
#include "log/EventLog.h"
#include "platform/Clock.h"

using namespace fota;

namespace {

// The versions a predicate holds for, among every version a trainer can
// report and well beyond.
std::set<int> VersionsOf(bool (*predicate)(std::int32_t)) {
    std::set<int> holds;
    for (int v = -300; v <= 1000; ++v) {
        if (predicate(v)) {
            holds.insert(v);
        }
    }
    return holds;
}

TEST(ControllerClass, PredicatesHoldExactlyForTheirVersions) {
    EXPECT_EQ(VersionsOf(Is256Micro), (std::set<int>{129, 130, 132, 134}));
    EXPECT_EQ(VersionsOf(Is64Micro), (std::set<int>{112, 116, 117, 120, 121, 122, 123}));
    EXPECT_EQ(VersionsOf(IsNotBluetooth128),
              (std::set<int>{94, 95, 96, 99, 107, 113, 114, 118, 124, 127}));
    EXPECT_EQ(VersionsOf(IsBluetooth128B),
              (std::set<int>{97, 98, 100, 101, 102, 103, 104, 105, 106, 108, 109, 110, 111, 115,
                             119, 125, 126, 131, 133}));
    EXPECT_TRUE(NeedsMusekUpgrade(27));
    EXPECT_TRUE(NeedsMusekUpgrade(-1));
    EXPECT_FALSE(NeedsMusekUpgrade(28));
}

struct Selection {
    std::int32_t V, S;
    std::uint8_t U;
    std::string name;  // empty: the upgrade ends
    TProgrammingStateFota state;
    bool error;
    std::vector<std::string> log;
};

// "V95_S0_U14"
std::string SelectionName(const Selection& c) {
    return "V" + std::to_string(c.V) + "_S" + std::to_string(c.S) + "_U" + std::to_string(c.U);
}
void PrintTo(const Selection& c, std::ostream* os) {
    *os << SelectionName(c);
}

class SelectFirmwareTest : public ::testing::TestWithParam<Selection> {};

TEST_P(SelectFirmwareTest, ChoosesTheImageOrEnds) {
    const Selection& c = GetParam();
    VirtualClock clock;
    TFOTALink link;
    link.clock = &clock;
    TFOTAThread worker(link);
    worker.SetFirmwareVersion(c.V);
    worker.SetFirmwareSubVersion(c.S);
    worker.SetUnitType(c.U);
    std::vector<std::string> log;
    eventlog::setFolder(::testing::TempDir());
    eventlog::setDebugOutput(false);
    eventlog::setObserver([&](const std::string& t) { log.push_back(t); });
    const bool chosen = worker.SelectFirmware();
    eventlog::setObserver(nullptr);

    EXPECT_EQ(chosen, !c.name.empty());
    EXPECT_EQ(worker.FirmwareName(), c.name);
    EXPECT_EQ(worker.GetState(), c.state) << StateName(worker.GetState());
    EXPECT_EQ(worker.FotaNoError(), c.error);
    EXPECT_EQ(log, c.log);
    if (chosen) {
        EXPECT_TRUE(ImageStore::contains(c.name));
    }
}

const std::string kSel = "Select Firmware to send";

INSTANTIATE_TEST_SUITE_P(
    Rules, SelectFirmwareTest,
    ::testing::Values(
        // Bootloader rule (version 1): sub-version 85 → 64K, 86 → 128K.
        Selection{1, 85, 9, "FW_KOV_64", psfProgrammingFirmware, false, {kSel}},
        Selection{1, 86, 9, "FW_KOV_128", psfProgrammingFirmware, false, {kSel}},
        Selection{1, 85, 11, "FW_PU_64", psfProgrammingFirmware, false, {kSel}},
        Selection{1, 86, 12, "FW_LO_128", psfProgrammingFirmware, false, {kSel}},
        Selection{1, 86, 13, "FW_WEK_128", psfProgrammingFirmware, false, {kSel}},
        Selection{1, 85, 10, "", psfUpgradeNotPossible, false, {kSel, "Upgrade not avalaible!!!!"}},
        Selection{1, 0, 9, "", psfUpgradeNotPossible, false, {kSel, "Upgrade not avalaible!!!!"}},
        Selection{1, 85, 20, "", psfUpgradeNotPossible, false, {kSel, "Upgrade not avalaible!!!!"}},
        // Old firmware: a bootloader first.
        Selection{0, 0, 14, "BOOTLOADER64", psfProgrammingBoot, false, {kSel}},
        Selection{82, 0, 14, "BOOTLOADER64", psfProgrammingBoot, false, {kSel}},
        Selection{83, 0, 14, "BOOTLOADER128", psfProgrammingBoot, false, {kSel}},
        Selection{87, 0, 14, "BOOTLOADER64", psfProgrammingBoot, false, {kSel}},
        Selection{94, 0, 14, "BOOTLOADER128", psfProgrammingBoot, false, {kSel}},
        Selection{80, 0, 9, "BOOTLOADER64", psfProgrammingBoot, false, {kSel}},
        // Firmware by controller class and model.
        Selection{95,
                  0,
                  14,
                  "FW_KOV_128",
                  psfProgrammingFirmware,
                  false,
                  {kSel, "isNOTBluetooth (micr0128)", "FFirmwareName := FW_KOV_128"}},
        Selection{97,
                  0,
                  14,
                  "FW_KOV_128B",
                  psfProgrammingFirmware,
                  false,
                  {kSel, "isBluetooth (micr0128B)", "FFirmwareName := FW_KOV_128B"}},
        Selection{129,
                  0,
                  19,
                  "FW_TOBE_256",
                  psfProgrammingFirmware,
                  false,
                  {kSel, "is256Micro.", "FFirmwareName := FW_TOBE_256"}},
        Selection{112,
                  0,
                  18,
                  "FW_DUF_64",
                  psfProgrammingFirmware,
                  false,
                  {kSel, "is64Micro.", "FFirmwareName := FW_DUF_64"}},
        Selection{120,
                  0,
                  9,
                  "",
                  psfAlreadyUpdated,
                  false,
                  {kSel, "is64Micro.", "FFirmwareName := ", "Firmware Already Updated!!!!"}},
        // Versions no class holds.
        Selection{128,
                  0,
                  14,
                  "",
                  psfNoNewFirmwareFound,
                  true,
                  {kSel, "Starting firmware version non available!!! [psfNoNewFirmwareFound] "}},
        Selection{135,
                  0,
                  14,
                  "",
                  psfNoNewFirmwareFound,
                  true,
                  {kSel, "Starting firmware version non available!!! [psfNoNewFirmwareFound] "}},
        // Unit type 20 has a rule of its own.
        Selection{27,
                  0,
                  20,
                  "FW_MUSEK_256",
                  psfProgrammingFirmware,
                  false,
                  {kSel, "FFirmwareName:= FW_MUSEK_256 - Musek Upgrade -"}},
        Selection{28, 0, 20, "", psfAlreadyUpdated, false, {kSel, "Firmware Already Updated!!!!"}},
        Selection{97, 0, 20, "", psfAlreadyUpdated, false, {kSel, "Firmware Already Updated!!!!"}}),
    [](const auto& p) { return SelectionName(p.param); });

// Every unit type 14-19 with every controller class names an image the store holds.
TEST(SelectFirmware, EveryNameTheRulesYieldIsStored) {
    VirtualClock clock;
    TFOTALink link;
    link.clock = &clock;
    eventlog::setFolder(::testing::TempDir());
    eventlog::setDebugOutput(false);
    for (int U = 9; U <= 20; ++U) {
        for (int V : {0, 1, 27, 83, 95, 97, 112, 129}) {
            for (int S : {85, 86}) {
                TFOTAThread worker(link);
                worker.SetFirmwareVersion(V);
                worker.SetFirmwareSubVersion(S);
                worker.SetUnitType(static_cast<std::uint8_t>(U));
                if (worker.SelectFirmware()) {
                    EXPECT_TRUE(ImageStore::contains(worker.FirmwareName()))
                        << worker.FirmwareName();
                }
            }
        }
    }
}

}  // namespace
