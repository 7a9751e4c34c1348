// fota-cli's upgrade, run in-process against the simulated stick and trainer
// in virtual time: how each way of ending shows in the exit status, the
// agreement, the device-number question, --json and --dry-run.

#include "app/UpgradeCommand.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>

#include "antlink/ByteTransport.h"
#include "tests/app/CliRun.h"
#include "tests/app/JsonCheck.h"

using namespace fota;
using namespace fota::testing;

namespace {

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++n;
    }
    return n;
}

std::size_t Sessions(const CliRun& r) {
    return r.trainer ? r.trainer->sessions.size() : 0;
}

// The simulated stick's line, passed for a real stick's.
class RealLookingLine final : public ant::ByteTransport {
public:
    explicit RealLookingLine(std::unique_ptr<ant::ByteTransport> line) : line_(std::move(line)) {}
    bool write(std::span<const std::uint8_t> b) override { return line_->write(b); }
    long read(std::span<std::uint8_t> b, std::stop_token s, Duration d) override {
        return line_->read(b, s, d);
    }
    void close() override { line_->close(); }
    std::string description() const override { return "/dev/ttyUSB0"; }

private:
    std::unique_ptr<ant::ByteTransport> line_;
};

// The simulated stick's line, pulled out right after the program resets the
// stick for the n-th time (as fota-sim --exit-after-upgrade ends).
class GoneAfterReset final : public ant::ByteTransport {
public:
    GoneAfterReset(std::unique_ptr<ant::ByteTransport> line, int resets)
        : line_(std::move(line)), resets_(resets) {}
    bool write(std::span<const std::uint8_t> b) override {
        if (b.size() >= 3 && b[0] == 0xA4 && b[2] == 0x4A) {
            --resets_;
        }
        return line_->write(b);
    }
    long read(std::span<std::uint8_t> b, std::stop_token s, Duration d) override {
        return resets_ <= 0 ? -1 : line_->read(b, s, d);
    }
    void close() override { line_->close(); }
    std::string description() const override { return line_->description(); }
    bool isSimulated() const override { return true; }

private:
    std::unique_ptr<ant::ByteTransport> line_;
    std::atomic<int> resets_;
};

// ---------------------------------------------------------------- exit status

struct Ending {
    const char* name;
    std::vector<std::string> trainer;  // options of the simulated trainer
    int status;
    const char* shown;  // a line the run prints (out or err)
};

TEST(UpgradeExitStatus, OneStatusPerWayTheUpgradeEnds) {
    const Ending cases[] = {
        {"finished", {}, cli::kExitOk, "Message: Firmware Upgraded Successfully!"},
        {"already_updated",
         {"--model", "MUSEK", "--version", "28"},
         cli::kExitAlreadyUpdated,
         "Status: The system is already updated, no action required! Close the software."},
        {"not_possible",
         {"--model", "DUF", "--bootloader"},
         cli::kExitNotPossible,
         "Status: Upgrade not possible!"},
        {"no_firmware_for_version_128",
         {"--version", "128"},
         cli::kExitNoFirmware,
         "Status: Starting firmware version is not found, please contact norvo. "
         "[psfNoNewFirmwareFound]"},
        {"zero_position_write_unconfirmed",
         {"--model", "WEK", "--version", "129", "--zero-write-unconfirmed"},
         cli::kExitZeroPosition,
         "Status: SetZeroPosition Failed,contact "},
        {"trainer_on_another_device_number",
         {"--sim-device-number", "99"},
         cli::kExitConnectionLost,
         "Message: Connection Lost,restart the software and try to run it again."},
        {"trainer_disappears_mid_transfer",  // the bursts fail before the search times out
         {"--version", "95", "--disappear-after-blocks", "3"},
         cli::kExitFailure,
         "Status: Generic Error. Try Again!"},
        {"stick_pulled_out_mid_transfer",
         {"--version", "95", "--vanish-after-blocks", "3"},
         cli::kExitConnectionLost,
         "the ANT stick is gone"},
        {"bootloader_reports_unit_type_255",
         {"--version", "80", "--faulty-bootloader"},
         cli::kExitFailure,
         "the upgrade failed"},
        {"dry_run", {"--dry-run"}, cli::kExitDryRun, "would program BOOTLOADER128"},
    };
    for (const Ending& c : cases) {
        SCOPED_TRACE(c.name);
        const CliRun r = RunCli(Simulated(c.trainer));
        EXPECT_EQ(r.status, c.status) << r.out << r.err;
        EXPECT_TRUE(r.outHas(c.shown) || r.errHas(c.shown)) << r.out << r.err;
        EXPECT_TRUE(r.outHas("(exit status " + std::to_string(c.status) + ")") ||
                    r.errHas("(exit status " + std::to_string(c.status) + ")"));
        // It is a simulation, and says so.
        EXPECT_TRUE(r.outHas("This is a simulation")) << r.out;
    }
}

TEST(UpgradeExitStatus, FinishedTwoPassUpgradeLeavesTheTrainerOnItsNewFirmware) {
    const CliRun r = RunCli(Simulated());
    ASSERT_EQ(r.status, cli::kExitOk) << r.err;
    ASSERT_TRUE(r.trainer);
    ASSERT_EQ(r.trainer->sessions.size(), 2u);
    EXPECT_EQ(r.trainer->sessions[0].outcome, sim::ProgrammingSession::Outcome::RanBootloader);
    EXPECT_EQ(r.trainer->sessions[1].outcome, sim::ProgrammingSession::Outcome::RanFirmware);
    // Status texts in order, a progress line per tenth of each pass, the
    // software-download dialog, and the close sequence in the event log.
    const auto boot = r.out.find("Status: Step 1 of 2: Programming Bootloader...");
    const auto firmware = r.out.find("Status: Step 2 of 2: Programming Firmware....");
    const auto done = r.out.find("Status: Update finish correctly!");
    EXPECT_LT(boot, firmware);
    EXPECT_LT(firmware, done);
    EXPECT_NE(done, std::string::npos);
    EXPECT_EQ(Count(r.out, "(100%)"), 2u);
    EXPECT_TRUE(r.outHas("DIRECT LINK -->  https://"));
    EXPECT_TRUE(r.logHas("Programmation terminate with -> OK"));
    EXPECT_TRUE(r.logHas("FormDestroy "));
}

TEST(UpgradeExitStatus, AStickGoneDuringTheCloseSequenceLeavesTheOutcome) {
    // Resets: the library's at ANT_Init, the start button's, the close sequence's.
    CliInput input;
    input.wrapLine = [](std::unique_ptr<ant::ByteTransport> line) {
        return std::make_unique<GoneAfterReset>(std::move(line), 3);
    };
    const CliRun r = RunCli(Simulated(), input);
    EXPECT_EQ(r.status, cli::kExitOk) << r.out << r.err;

    // Gone during the upgrade, it is the outcome.
    input.wrapLine = [](std::unique_ptr<ant::ByteTransport> line) {
        return std::make_unique<GoneAfterReset>(std::move(line), 2);
    };
    const CliRun early = RunCli(Simulated(), input);
    EXPECT_EQ(early.status, cli::kExitConnectionLost) << early.out << early.err;
}

TEST(UpgradeExitStatus, NoStickAtTheGivenPort) {
    const CliRun r =
        RunCli({"--port", "/nonexistent/ttyUSB9", "--accept-agreement", "--device-number", "1"});
    EXPECT_EQ(r.status, cli::kExitNoStick);
    EXPECT_TRUE(r.outHas("Message: ANT USB Dongle Required!! Please plug it in ."));
    EXPECT_TRUE(r.errHas("cannot open /nonexistent/ttyUSB9")) << r.err;
}

TEST(UpgradeExitStatus, DemoImagesAreNeverSentToARealStick) {
    CliInput input;
    input.wrapLine = [](std::unique_ptr<ant::ByteTransport> line) {
        return std::make_unique<RealLookingLine>(std::move(line));
    };
    const CliRun r = RunCli(Simulated(), input);
    EXPECT_EQ(r.status, cli::kExitDemoRefused) << r.out << r.err;
    EXPECT_EQ(Sessions(r), 0u);  // programming mode was never entered
    EXPECT_TRUE(r.logHas("Refused to program BOOTLOADER128: it is a demo image"));
    EXPECT_FALSE(r.logHas("Start Program Mode"));
    EXPECT_TRUE(r.errHas("demo images")) << r.err;
}

TEST(UpgradeExitStatus, InterruptStopsTheWorkerAndClosesTheStick) {
    CliInput input;
    input.wrapLine = [](std::unique_ptr<ant::ByteTransport> line) {
        EXPECT_TRUE(cli::InterruptUpgrade(SIGINT));
        EXPECT_FALSE(cli::InterruptUpgrade(SIGINT));  // already stopping
        return line;
    };
    const CliRun r = RunCli(Simulated(), input);
    EXPECT_EQ(r.status, cli::kExitInterrupted);
    EXPECT_TRUE(r.logHas("Upgrade stopped by the user (signal 2)"));
    EXPECT_FALSE(cli::InterruptUpgrade(SIGINT));  // nothing is running any more
    EXPECT_EQ(Sessions(r), 0u);
}

// ------------------------------------------------------------------ agreement

TEST(UpgradeAgreement, OnlyYesAccepts) {
    const struct {
        std::optional<std::string> typed;
        int status;
    } cases[] = {
        {"yes\n", cli::kExitDryRun},          {"  YES \r\n", cli::kExitDryRun},
        {"no\n", cli::kExitDeclined},         {"\n", cli::kExitDeclined},
        {"yes please\n", cli::kExitDeclined}, {"", cli::kExitDeclined},  // end of input
        {std::nullopt, cli::kExitNoTerminal},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed.value_or("<no terminal>"));
        CliInput input;
        input.typed = c.typed;
        const CliRun r =
            RunCli({"--simulate", "--virtual-time", "--device-number", "1234", "--dry-run"}, input);
        EXPECT_EQ(r.status, c.status) << r.out << r.err;
        if (c.status != cli::kExitDryRun) {
            EXPECT_FALSE(r.trainer);   // nothing was started
            EXPECT_EQ(r.logFile, "");  // not even the log
        }
        if (c.typed) {
            EXPECT_TRUE(r.outHas("This firmware upgrade procedure is irreversible.  \n"));
            EXPECT_TRUE(r.outHas("Click on \u201CI agree\u201D to accept these conditions."));
        } else {
            EXPECT_TRUE(r.errHas("--accept-agreement")) << r.err;
        }
    }
}

// -------------------------------------------------------------- device number

TEST(UpgradeDeviceNumber, AskedOnTheTerminalUntilAWholeNumberComes) {
    const struct {
        const char* answers;  // after "yes" for the agreement
        std::int32_t number;
        std::size_t questions;
    } cases[] = {
        {"abc\n-3\n0012\n", 12, 3},
        {"\n", 0, 1},  // Enter: the box's default
        {"", 0, 1},    // end of input: cancel, which gives the default
        {"$1F\n", 31, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answers);
        CliInput input;
        input.typed = std::string("yes\n") + c.answers;
        const CliRun r = RunCli({"--simulate", "--virtual-time", "--dry-run", "-v"}, input);
        EXPECT_EQ(r.status, cli::kExitDryRun) << r.out << r.err;
        EXPECT_EQ(Count(r.out, "TRainer Serial Number : "), c.questions);
        EXPECT_TRUE(r.outHas("Trainer Seral Not Found"));
        EXPECT_TRUE(r.logHas("Trainer Device Number " + std::to_string(c.number) + "\r\n"));
        EXPECT_TRUE(r.outHas("Cmd - SetChannelId(0; " + std::to_string(c.number) + "; 19; 1)"));
    }
}

TEST(UpgradeDeviceNumber, FromTheSettingsFileOrTheCommandLine) {
    const struct {
        const char* name;
        std::optional<std::string> settings;
        std::vector<std::string> args;
        int status;
        const char* logged;
    } cases[] = {
        {"settings",
         "[PelorDeviceMovaAnt]\nMovaAntSettings_TrainerDeviceNumber=4321\n",
         {},
         cli::kExitDryRun,
         "Trainer Device Number 4321"},
        {"second_location",
         "[PelorDeviceAntP]\nQebAntP_DeviceNumber=77\n",
         {},
         cli::kExitDryRun,
         "Trainer Device Number 77"},
        {"command_line_wins",
         "[PelorDeviceMovaAnt]\nMovaAntSettings_TrainerDeviceNumber=4321\n",
         {"--device-number", "55"},
         cli::kExitDryRun,
         "Trainer Device Number 55"},
        {"negative_in_settings",
         "[PelorDeviceMovaAnt]\nMovaAntSettings_TrainerDeviceNumber=-5\n",
         {},
         cli::kExitNoDeviceNumber,
         "Trainer Device Number -5"},
        {"no_number_and_no_terminal",
         "[PelorDeviceMovaAnt]\nMovaAntSettings_TrainerDeviceNumber=twelve\n",
         {},
         cli::kExitNoTerminal,
         "No trainer device number, and no terminal to ask"},
        {"malformed_settings_file",
         "[PelorDeviceMovaAnt\nMovaAntSettings_TrainerDeviceNumber=4321\n",
         {},
         cli::kExitNoTerminal,
         "the settings cannot be read"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CliInput input;
        input.settings = c.settings;
        std::vector<std::string> args = {"--simulate", "--virtual-time", "--accept-agreement",
                                         "--dry-run"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const CliRun r = RunCli(args, input);
        EXPECT_EQ(r.status, c.status) << r.out << r.err;
        EXPECT_TRUE(r.logHas(c.logged)) << r.logFile;
        if (c.status == cli::kExitNoDeviceNumber) {
            EXPECT_TRUE(
                r.outHas("Message: No trainer Norvo ANT installed, firmware update noT possible!"));
        }
        if (c.status == cli::kExitNoTerminal) {
            EXPECT_TRUE(r.errHas("--device-number N")) << r.err;
            EXPECT_FALSE(r.logHas("Cmd - Reset"));  // the stick was never touched
        }
    }
}

// ---------------------------------------------------------------------- --json

TEST(UpgradeJson, EveryLineIsOneWellFormedObject) {
    // A settings value with an escape sequence, quotes, a backslash and a
    // byte that is no UTF-8 ends up in a log line.
    CliInput input;
    input.settings =
        "[PelorDeviceMovaAnt]\nMovaAntSettings_TrainerDeviceNumber=1234\n"
        "MovaAntSettings_ConsoleSerialNumber=\"\\x1b[31m\\\"q\\\"\\\\\xff\"\n";
    const CliRun r =
        RunCli({"--simulate", "--virtual-time", "--accept-agreement", "--json"}, input);
    ASSERT_EQ(r.status, cli::kExitOk) << r.err;
    std::map<std::string, int> events;
    std::istringstream lines(r.out);
    std::string line;
    std::string last;
    bool sawValue = false;
    while (std::getline(lines, line)) {
        const auto object = JsonLine::Parse(line);
        ASSERT_TRUE(object) << line;
        ASSERT_TRUE(object->count("event") && object->count("time_s")) << line;
        ++events[object->at("event")];
        last = object->at("event");
        if (object->at("event") == "log" &&
            object->at("text").find("\x1b[31m\"q\"\\\xEF\xBF\xBD") != std::string::npos) {
            sawValue = true;
        }
        if (object->at("event") == "end") {
            EXPECT_EQ(object->at("exit_code"), "0");
            EXPECT_EQ(object->at("outcome"), "finished");
        }
    }
    EXPECT_TRUE(sawValue);
    EXPECT_EQ(last, "end");
    EXPECT_EQ(events["end"], 1);
    for (const char* e : {"status", "progress", "message", "logbox", "log", "download"}) {
        EXPECT_GT(events[e], 0) << e;
    }
    EXPECT_EQ(r.err, "");
}

// ------------------------------------------------------------------- dry run

TEST(UpgradeDryRun, StopsBeforeProgrammingModeWithTheDecision) {
    const CliRun r = RunCli(Simulated({"--dry-run"}));
    EXPECT_EQ(r.status, cli::kExitDryRun);
    ASSERT_TRUE(r.trainer);
    EXPECT_EQ(r.trainer->sessions.size(), 0u);  // no programming session
    EXPECT_EQ(r.trainer->counters.burstsReceived, 0u);
    EXPECT_FALSE(r.logHas("Start Program Mode"));
    EXPECT_TRUE(r.logHas("Dry run: stopped before programming mode"));
    EXPECT_TRUE(
        r.outHas("Dry run for a trainer reporting version 90, sub-version 0, unit type 14"));
    EXPECT_TRUE(r.outHas("would program BOOTLOADER128: "));
    // No status claims it is programming.
    EXPECT_FALSE(r.outHas("Status: Step 1 of 2"));
}

TEST(UpgradeDryRun, ASelectionWithoutImageEndsAsTheUpgradeWould) {
    const CliRun r = RunCli(Simulated({"--dry-run", "--version", "120", "--unit-type", "9"}));
    EXPECT_EQ(r.status, cli::kExitAlreadyUpdated);
    EXPECT_TRUE(r.outHas("    is64Micro.\n"));
    EXPECT_TRUE(r.outHas("no image: the upgrade ends here"));
}

}  // namespace

// --record writes what crossed the stick's line, in the documented format.
TEST(UpgradeRecording, RecordsTheLineOfAWholeUpgrade) {
    const fs::path file = TestFolder() / "session.rec";
    fs::remove(file);
    auto args = Simulated();
    args.push_back("--record");
    args.push_back(file.string());
    const CliRun r = RunCli(args);
    ASSERT_EQ(r.status, cli::kExitOk) << r.err;
    std::ifstream in(file);
    std::string first;
    std::getline(in, first);
    EXPECT_EQ(first, "# fota line recording 1");
    std::string line;
    std::size_t written = 0, read = 0;
    while (std::getline(in, line)) {
        written += line.rfind("> ", 0) == 0;
        read += line.rfind("< ", 0) == 0;
    }
    EXPECT_GT(written, 100u);
    EXPECT_GT(read, 100u);
}
