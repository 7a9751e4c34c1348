// Recorded sessions of the stick's line (tests/replay/*.rec) played back to
// the whole program: it must say exactly what was recorded, byte for byte,
// and end the way it ended then.
//
// To record them again after a deliberate change of what the program says:
//     FOTA_WRITE_RECORDINGS=1 FOTA_SOURCE_DIR=$PWD
//         build/dev/tests/reliability/test_reliability --gtest_filter='Sessions/Recorded.Replayed*'

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>

#include "antlink/RecordingTransport.h"
#include "antlink/ReplayTransport.h"
#include "tests/e2e/UpgradeHarness.h"

using namespace fota;
using namespace fota::testing;
namespace fs = std::filesystem;

namespace {

struct Session {
    const char* file;
    // The simulated session it was made from; empty for one from the field.
    std::function<void(sim::SimConfig&)> setup;
    TProgrammingStateFota finalState;
    const char* lastMessage;  // "" when none
};

void PrintTo(const Session& s, std::ostream* os) {
    *os << s.file;
}

const Session kSessions[] = {
    {"clean_two_pass.rec",
     [](sim::SimConfig& c) {
         c.trainer.model = sim::Model::KOV;
         c.trainer.version = 80;
         c.trainer.unitType = 14;
     },
     psfFinishOK, "Firmware Upgraded Successfully!"},
    {"retries.rec",
     [](sim::SimConfig& c) {
         c.trainer.version = 95;
         c.faults.dropFromTrainer[sim::PageKind::VersionReply] = sim::Pick::at({1});
         c.faults.failBursts = sim::Pick::at({2, 3});
         c.faults.withholdBlockAckFor = {4};
         c.faults.lineGarbage = 0.05;
         c.seed = 3;
     },
     psfFinishOK, "Firmware Upgraded Successfully!"},
    {"connection_lost.rec",
     [](sim::SimConfig& c) {
         c.trainer.version = 95;
         c.faults.disappear = sim::When::atProgramExit();
     },
     psfProgrammingFirmware, "Connection Lost,restart the software and try to run it again."},
    {"stick_unplugged.rec",
     [](sim::SimConfig& c) {
         c.trainer.version = 95;
         c.faults.stickVanishes = sim::When::afterBlocks(4);
     },
     psfError, ""},
};

sim::SimConfig ConfigOf(const Session& s) {
    sim::SimConfig c;
    s.setup(c);
    return c;
}

UpgradeRun Record(const Session& s, const fs::path& file) {
    RunHooks hooks;
    hooks.wrapOpener = [file](ant::TransportOpener inner, Clock& clock) {
        return ant::recordingOpener(std::move(inner), file.string(), clock);
    };
    return RunUpgrade(ConfigOf(s), 1234, hooks);
}

UpgradeRun Replay(ant::Replay& replay) {
    RunHooks hooks;
    hooks.stick = [&replay](Clock& clock) { return replay.opener(clock); };
    return RunUpgrade(sim::SimConfig{}, 1234, hooks);
}

void ExpectSameEnd(const UpgradeRun& replayed, const Session& s) {
    EXPECT_EQ(replayed.finalState, s.finalState) << StateName(replayed.finalState);
    const std::string last = replayed.messages.empty() ? "" : replayed.messages.back();
    EXPECT_EQ(last, s.lastMessage);
}

fs::path RecordingsDir() {
    const char* source = std::getenv("FOTA_SOURCE_DIR");
    return fs::path(source ? source : ".") / "tests" / "replay";
}

class Recorded : public ::testing::TestWithParam<Session> {};

TEST_P(Recorded, ReplayedProgramSaysWhatWasRecordedAndEndsTheSame) {
    const Session& s = GetParam();
    const fs::path file = RecordingsDir() / s.file;
    if (std::getenv("FOTA_WRITE_RECORDINGS") && s.setup) {
        const UpgradeRun recorded = Record(s, file);
        ExpectSameEnd(recorded, s);
    }
    ant::Replay replay;
    ASSERT_TRUE(replay.load(file.string())) << replay.error();
    const UpgradeRun replayed = Replay(replay);
    EXPECT_EQ(replay.verdict(), "");
    ExpectSameEnd(replayed, s);
}

// Recording today's program and replaying it at once: the two transports
// agree with each other whatever the program says now.
TEST_P(Recorded, FreshRecordingReplaysIdentically) {
    const Session& s = GetParam();
    if (!s.setup) {
        GTEST_SKIP() << "recorded in the field";
    }
    const fs::path file = fs::temp_directory_path() /
                          (std::string("fota-replay-") + std::to_string(::getpid()) + s.file);
    const UpgradeRun recorded = Record(s, file);
    ant::Replay replay;
    ASSERT_TRUE(replay.load(file.string())) << replay.error();
    fs::remove(file);
    const UpgradeRun replayed = Replay(replay);
    EXPECT_EQ(replay.verdict(), "");
    EXPECT_EQ(replayed.eventLog, recorded.eventLog);
    EXPECT_EQ(replayed.logBox, recorded.logBox);
    EXPECT_EQ(replayed.finalState, recorded.finalState);
    EXPECT_EQ(replayed.messages, recorded.messages);
}

std::string Name(const ::testing::TestParamInfo<Session>& info) {
    std::string n = info.param.file;
    return n.substr(0, n.find('.'));
}

INSTANTIATE_TEST_SUITE_P(Sessions, Recorded, ::testing::ValuesIn(kSessions), Name);

// A program that says something else than the recording is stopped at the
// first difference, and the verdict says where.
TEST(Replay, ProgramThatDiffersFailsAtTheFirstDifference) {
    ant::Replay replay;
    ASSERT_TRUE(replay.load((RecordingsDir() / "clean_two_pass.rec").string())) << replay.error();
    RunHooks hooks;
    hooks.stick = [&replay](Clock& clock) { return replay.opener(clock); };
    // Another device number: the channel ID command differs from the recorded one.
    const UpgradeRun run = RunUpgrade(sim::SimConfig{}, 4321, hooks);
    const std::string verdict = replay.verdict();
    EXPECT_NE(verdict.find("the program wrote"), std::string::npos) << verdict;
    EXPECT_NE(verdict.find("the recording (line "), std::string::npos) << verdict;
    EXPECT_NE(run.finalState, psfFinishOK);
}

}  // namespace
