// The channel event handler (UI thread) stores a reported value before it
// raises the flag that announces it; the worker, polling the flag on its own
// thread, must never see the flag before the value. Run under ThreadSanitizer
// this also shows that every shared field is accessed safely.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "antlink/ANTDEFINES.h"
#include "log/EventLog.h"
#include "platform/Clock.h"
#include "tests/ui/Fakes.h"
#include "ui/ConfigForm.h"

using namespace fota;
using namespace fota::testing;

namespace {

TEST(FlagOrder, WorkerNeverSeesAFlagBeforeItsValue) {
    eventlog::setFolder(::testing::TempDir());
    eventlog::setDebugOutput(false);
    RealClock clock;
    RecordingPort port;
    ScriptedAntLibrary lib;
    TMainForm form(port, lib, clock);
    form.bOpenChannel = true;
    form.bFirstPackReceived = sprReceiving;
    TFOTAThread worker(form);  // never started: the test plays its part
    form.FFOTAThread = &worker;

    constexpr int kRounds = 2000;
    std::atomic<int> mismatches{0};
    std::thread polling([&] {
        for (int v = 1; v <= kRounds; ++v) {
            while (!form.wait_ack_fw_ver.load()) {
                std::this_thread::yield();
            }
            if (worker.FirmwareVersion() != (v & 0xFF) || worker.FirmwareSubVersion() != 1 ||
                worker.UnitType() != ((v + 1) & 0xFF)) {
                ++mismatches;
            }
            form.wait_ack_fw_ver = false;
        }
    });
    for (int v = 1; v <= kRounds; ++v) {
        while (form.wait_ack_fw_ver.load()) {
            std::this_thread::yield();
        }
        TANTGenericMessage m;
        m.MessageType = mtChannelEvent;
        m.Event = ant::EVENT_RX_ACKNOWLEDGED;
        m.Buffer = {
            0, 0x11, static_cast<std::uint8_t>(v), 1, static_cast<std::uint8_t>(v + 1), 0, 0, 0, 0};
        form.ProcessChannelEvent(m);
    }
    polling.join();
    EXPECT_EQ(mismatches, 0);
    form.FFOTAThread = nullptr;
}

}  // namespace
