// The state poll reads a worker that runs on another thread: whatever the
// moment the worker ends at, the window must show how the upgrade ended.

#include <gtest/gtest.h>

#include "log/EventLog.h"
#include "platform/Clock.h"
#include "tests/ui/Fakes.h"
#include "ui/ConfigForm.h"

using namespace fota;
using namespace fota::testing;

namespace {

// A worker that is programming the firmware and ends with psfFinishOK right
// after its state has been read once more: the worst moment for the poll,
// which reads the state and whether the worker has ended one after the other.
class EndsAfterNextRead : public TFOTAThread {
public:
    using TFOTAThread::TFOTAThread;
    TProgrammingStateFota GetState() const override {
        const TProgrammingStateFota s = state_;
        if (endOnRead_) {
            endOnRead_ = false;
            state_ = psfFinishOK;
            ended_ = true;
        }
        return s;
    }
    bool Finished() const override { return ended_; }
    void EndAfterNextRead() { endOnRead_ = true; }

private:
    mutable TProgrammingStateFota state_ = psfProgrammingFirmware;
    mutable bool ended_ = false;
    mutable bool endOnRead_ = false;
};

TEST(StatePoll, AWorkerEndingBetweenItsReadsIsShownAsTheEndItReached) {
    eventlog::setFolder(::testing::TempDir());
    eventlog::setDebugOutput(false);
    VirtualClock clock;
    RecordingPort port;
    ScriptedAntLibrary lib;
    TMainForm form(port, lib, clock);
    EndsAfterNextRead worker(form);
    form.FFOTAThread = &worker;
    port.statePoll = true;
    port.activity = true;

    worker.EndAfterNextRead();
    form.TimerStatoProcessoTimer();
    // The tick saw a worker still programming: it shows the step and goes on.
    ASSERT_EQ(port.status, std::vector<std::string>{"Step 2 of 2: Programming Firmware...."});
    EXPECT_TRUE(port.statePoll);
    EXPECT_TRUE(port.activity);
    EXPECT_TRUE(port.messages.empty());

    // The next tick sees the end the worker reached.
    form.TimerStatoProcessoTimer();
    EXPECT_EQ(port.status.back(), TMainForm::StatusText(psfFinishOK));
    EXPECT_EQ(port.messages, std::vector<std::string>{"Firmware Upgraded Successfully!"});
    EXPECT_EQ(port.downloadDialogs.size(), 1u);
    EXPECT_EQ(port.closeRequests, 1);
    EXPECT_FALSE(port.statePoll);
    form.FFOTAThread = nullptr;
    eventlog::setFolder(std::nullopt);
}

}  // namespace
