// fota-cli plan: the engine's own selection for a trainer's numbers, with
// its log lines, without any stick and without writing the event log.

#include <gtest/gtest.h>
#include <stdlib.h>

#include "image/ImageStore.h"
#include "tests/app/CliRun.h"
#include "tests/app/JsonCheck.h"

using namespace fota;
using namespace fota::testing;

namespace {

std::string Blocks(const std::string& image) {
    TFirmware fw;
    ImageStore::load(image, fw);
    return std::to_string(fw.totalByte()) + " bytes in " + std::to_string(fw.buff.size()) +
           " blocks";
}

TEST(Plan, SaysWhatTheSelectionDecidesForATrainer) {
    const struct {
        int version, subVersion, unitType;
        int status;
        std::vector<std::string> shown;
    } cases[] = {
        {90, 0, 14, cli::kExitOk, {"would program BOOTLOADER128: " + Blocks("BOOTLOADER128")}},
        {1, 86, 9, cli::kExitOk, {"would program FW_KOV_128: " + Blocks("FW_KOV_128")}},
        {97, 0, 14, cli::kExitOk, {"    isBluetooth (micr0128B)\n", "would program FW_KOV_128B"}},
        {120,
         0,
         9,
         cli::kExitAlreadyUpdated,
         {"    is64Micro.\n", "    FFirmwareName := \n", "    Firmware Already Updated!!!!\n",
          "no image", "state psfAlreadyUpdated"}},
        {128,
         0,
         14,
         cli::kExitNoFirmware,
         {"    Starting firmware version non available!!! [psfNoNewFirmwareFound] \n",
          "state psfNoNewFirmwareFound", "(error)"}},
        {1,
         0,
         9,
         cli::kExitNotPossible,
         {"    Upgrade not avalaible!!!!\n", "Upgrade not possible!"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.version) + "/" + std::to_string(c.subVersion) + "/" +
                     std::to_string(c.unitType));
        const CliRun r =
            RunCli({"plan", "--version", std::to_string(c.version), "--subversion",
                    std::to_string(c.subVersion), "--unit-type", std::to_string(c.unitType)});
        EXPECT_EQ(r.status, c.status) << r.out << r.err;
        EXPECT_TRUE(r.outHas("    Select Firmware to send\n")) << r.out;
        for (const std::string& s : c.shown) {
            EXPECT_TRUE(r.outHas(s)) << s << "\n" << r.out;
        }
    }
}

TEST(Plan, JsonIsOneObjectWithTheDecision) {
    const CliRun r =
        RunCli({"plan", "--version", "1", "--subversion", "85", "--unit-type", "13", "--json"});
    EXPECT_EQ(r.status, cli::kExitOk);
    ASSERT_EQ(r.out.back(), '\n');
    ASSERT_EQ(r.out.find('\n'), r.out.size() - 1);  // one line
    const auto o = JsonLine::Parse(r.out.substr(0, r.out.size() - 1));
    ASSERT_TRUE(o) << r.out;
    EXPECT_EQ(o->at("event"), "plan");
    EXPECT_EQ(o->at("image"), "FW_WEK_64");
    EXPECT_EQ(o->at("state"), "psfProgrammingFirmware");
    EXPECT_EQ(o->at("error"), "false");
}

TEST(Plan, WritesNoEventLog) {
    const fs::path home = TestFolder() / "home";
    fs::create_directories(home / "Desktop");
    const char* old = std::getenv("HOME");
    const std::string saved = old ? old : "";
    ::setenv("HOME", home.c_str(), 1);
    const CliRun r = RunCli({"plan", "--version", "128", "--unit-type", "14"});
    if (old) {
        ::setenv("HOME", saved.c_str(), 1);
    } else {
        ::unsetenv("HOME");
    }
    EXPECT_EQ(r.status, cli::kExitNoFirmware);
    EXPECT_FALSE(fs::exists(home / "Desktop" / "FirmwareUpdate.log"));
    EXPECT_FALSE(fs::exists(home / "FirmwareUpdate.log"));
    fs::remove_all(home.parent_path());
}

TEST(Plan, AgreementCommandPrintsTheAgreement) {
    const CliRun r = RunCli({"agreement"});
    EXPECT_EQ(r.status, cli::kExitOk);
    EXPECT_EQ(r.out.rfind("FOTA upgrade software agreement.\n\n", 0), 0u);
}

}  // namespace
