// The link half of the main window: bring-up, responses, channel events, the
// pump and the connection-lost path, against a scripted library.

#include <gtest/gtest.h>

#include <clocale>
#include <map>

#include "antlink/ANTDEFINES.h"
#include "log/EventLog.h"
#include "platform/Clock.h"
#include "tests/ui/Fakes.h"
#include "ui/ConfigForm.h"

using namespace fota;
using namespace fota::testing;
namespace A = fota::ant;

namespace {

const std::string kTrainerKey =
    "\\SOFTWARE\\Norvo\\Mova\\PelorDeviceMovaAnt\\MovaAntSettings_TrainerDeviceNumber";

// A window of its own for one case of a table.
struct Rig {
    VirtualClock clock;
    RecordingPort port;
    ScriptedAntLibrary lib;
    TMainForm form{port, lib, clock};
};

class MainFormLink : public ::testing::Test {
protected:
    void SetUp() override {
        std::setlocale(LC_ALL, "C");
        eventlog::setFolder(::testing::TempDir());
        eventlog::setDebugOutput(false);
    }
    void TearDown() override { eventlog::setFolder(std::nullopt); }

    void Start(std::int32_t deviceNumber) {
        store.values[kTrainerKey] = std::to_string(deviceNumber);
        form.FormCreate(&store);
        form.Btn_StartClick();
    }
    // The stick answers a command; the pump hands it on.
    void Answer(std::uint8_t id, std::uint8_t code = 0, std::uint8_t channel = 0) {
        lib.Respond(channel, id, code);
        form.tmrProcessANTMessageTimer();
    }
    void BringUp(std::int32_t deviceNumber = 1234) {
        Start(deviceNumber);
        for (std::uint8_t id :
             {A::MESG_NETWORK_KEY_ID, A::MESG_ASSIGN_CHANNEL_ID, A::MESG_CHANNEL_ID_ID,
              A::MESG_CHANNEL_MESG_PERIOD_ID, A::MESG_CHANNEL_SEARCH_TIMEOUT_ID,
              A::MESG_CHANNEL_RADIO_FREQ_ID, A::MESG_OPEN_CHANNEL_ID}) {
            Answer(id);
        }
    }
    TANTGenericMessage Event(std::uint8_t code, std::array<std::uint8_t, 8> page = {}) {
        TANTGenericMessage m;
        m.MessageType = mtChannelEvent;
        m.Event = code;
        m.Buffer.assign(9, 0);
        std::copy(page.begin(), page.end(), m.Buffer.begin() + 1);
        return m;
    }

    VirtualClock clock;
    RecordingPort port;
    ScriptedAntLibrary lib;
    MapStore store;
    TMainForm form{port, lib, clock};
};

TEST_F(MainFormLink, BringUpLogsEveryCommandAndAcknowledgementInOrder) {
    BringUp(1234);
    const std::vector<std::string> expected = {
        "Cmd - Reset",
        "Cmd - SetNetworkKey(0; [00] [00] [00] [00] [00] [00] [00] [00])",
        "Ack - SetNetworkKey",
        "Cmd - AssignChannel(0; 0, 0)",
        "Ack - AssignChannel(0; 0; 0)",
        "Cmd - SetChannelId(0; 1234; 19; 1)",
        "Ack - SetChannelID",
        "Cmd - SetChannelPeriod(0; 31814)",
        "Ack - SetChannelPeriod",
        "Cmd - SetChannelSearchTimeout(0: 15)",
        "Ack - SetChannelSearchTimeout",
        "Cmd - SetChannelRFFreq(0; 71)",
        "Ack - SetRFFreq",
        "Cmd - OpenChannel",
        "Ack - Open. Ch: 0",
    };
    EXPECT_EQ(port.logBox, expected);
    EXPECT_TRUE(form.bOpenChannel);
    EXPECT_EQ(clock.now(), std::chrono::milliseconds(600));  // the reset pause
    const std::vector<std::string> calls = {"Init(0,57600)",
                                            "AssignResponse",
                                            "AssignChannelEvent(0)",
                                            "ResetSystem",
                                            "SetNetworkKey(0)",
                                            "AssignChannel(0,0,0)",
                                            "SetChannelId(0,1234,19,1)",
                                            "SetChannelPeriod(0,31814)",
                                            "SetChannelSearchTimeout(0,15)",
                                            "SetChannelRFFreq(0,71)",
                                            "OpenChannel(0)"};
    EXPECT_EQ(lib.calls, calls);
    EXPECT_FALSE(port.startEnabled);
    EXPECT_TRUE(port.closeEnabled);
}

TEST_F(MainFormLink, DeviceNumberIsSentAsItsLow16BitsAndLoggedWhole) {
    BringUp(70000);
    EXPECT_NE(std::find(lib.calls.begin(), lib.calls.end(), "SetChannelId(0,4464,19,1)"),
              lib.calls.end());
    EXPECT_NE(
        std::find(port.logBox.begin(), port.logBox.end(), "Cmd - SetChannelId(0; 70000; 19; 1)"),
        port.logBox.end());
}

TEST_F(MainFormLink, FailureCodesEndTheSequenceWithTheirLine) {
    struct Case {
        std::uint8_t failingId;
        std::uint8_t code;
        const char* line;
    } cases[] = {
        {A::MESG_NETWORK_KEY_ID, 0x15, "Fail(0x21X) - NetworkKey"},
        {A::MESG_ASSIGN_CHANNEL_ID, 0x15, "Fail(0x21X) - AssignChannel(00)"},
        {A::MESG_CHANNEL_ID_ID, 0x15, "Fail(0x15) - SetChannelID(00)"},
        {A::MESG_CHANNEL_MESG_PERIOD_ID, 0x15, "Fail(0x21X) - SetChannelPeriod(00)"},
        {A::MESG_CHANNEL_SEARCH_TIMEOUT_ID, 0x28, "Fail(0x28) - SetChannelSearchTimeout(00)"},
        {A::MESG_CHANNEL_RADIO_FREQ_ID, 0x15, "Fail(0x21X) - SetRFFreq(00)"},
        {A::MESG_OPEN_CHANNEL_ID, 0x15, "Fail(0x15) - Open(00). Ch: 0"},
    };
    const std::uint8_t order[] = {A::MESG_NETWORK_KEY_ID,
                                  A::MESG_ASSIGN_CHANNEL_ID,
                                  A::MESG_CHANNEL_ID_ID,
                                  A::MESG_CHANNEL_MESG_PERIOD_ID,
                                  A::MESG_CHANNEL_SEARCH_TIMEOUT_ID,
                                  A::MESG_CHANNEL_RADIO_FREQ_ID,
                                  A::MESG_OPEN_CHANNEL_ID};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        Rig rig;
        auto& [caseClock, casePort, caseLib, f] = rig;
        f.FormCreate(&store);
        f.Btn_StartClick();
        for (std::uint8_t id : order) {
            const bool fail = id == c.failingId;
            caseLib.Respond(0, id, fail ? c.code : 0);
            f.tmrProcessANTMessageTimer();
            if (fail) {
                break;
            }
        }
        EXPECT_EQ(casePort.logBox.back(), c.line);
        const std::size_t callsAfterFailure = caseLib.calls.size();
        f.tmrProcessANTMessageTimer();
        EXPECT_EQ(caseLib.calls.size(), callsAfterFailure);
        EXPECT_FALSE(f.bOpenChannel);
    }
}

TEST_F(MainFormLink, AcknowledgementForAnotherChannelSendsNothingFurther) {
    Start(1234);
    Answer(A::MESG_NETWORK_KEY_ID);
    const std::size_t calls = lib.calls.size();
    Answer(A::MESG_ASSIGN_CHANNEL_ID, 0, 1);
    EXPECT_EQ(lib.calls.size(), calls);
    EXPECT_EQ(port.logBox[port.logBox.size() - 2], "Ack - AssignChannel(1; 0; 0)");
    EXPECT_EQ(port.logBox.back(), "Cmd - SetChannelId(1; 1234; 19; 1)");
}

TEST_F(MainFormLink, ResponsesThatAreNotChannelResponsesAreIgnored) {
    Start(1234);
    const std::size_t lines = port.logBox.size();
    lib.responseBuffer[0] = 0x20;
    lib.response(0, A::MESG_STARTUP_MESG_ID);
    form.tmrProcessANTMessageTimer();
    EXPECT_EQ(port.logBox.size(), lines);
}

TEST_F(MainFormLink, PumpHandlesOneMessagePerTickOldestFirstAndKeepsAll) {
    form.FormCreate(&store);
    form.tmrProcessANTMessageTimer();  // empty queue: nothing
    form.bFirstPackReceived = sprReceiving;
    form.bOpenChannel = true;
    for (int i = 0; i < 1001; ++i) {
        form.aucRxBuf = {
            0, 0x4E, static_cast<std::uint8_t>(i >> 8), static_cast<std::uint8_t>(i), 0, 0, 0,
            0, 0};
        form.ANTChannelEventCallback(0, A::EVENT_RX_BROADCAST);
    }
    EXPECT_EQ(form.ChannelGenericQueue->Count(), 1001u);
    form.tmrProcessANTMessageTimer();
    EXPECT_EQ(form.ChannelGenericQueue->Count(), 1000u);
    EXPECT_EQ(port.logBox.back().substr(0, 30), "Recv(0): [4E][00][00][00][00][");
    for (int i = 1; i < 1001; ++i) {
        form.tmrProcessANTMessageTimer();
    }
    EXPECT_EQ(form.ChannelGenericQueue->Count(), 0u);
    EXPECT_EQ(port.logBox.back().substr(0, 30), "Recv(0): [4E][03][E8][00][00][");
    EXPECT_EQ(form.RxEventCounter, 1001);
}

TEST_F(MainFormLink, FirstChannelEventStartsExactlyOneUpgradeEvenBeforeTheChannelIsOpen) {
    form.FormCreate(&store);
    form.ProcessChannelEvent(Event(A::EVENT_RX_BROADCAST, {0x11, 0x50}));
    ASSERT_NE(form.FFOTAThread, nullptr);
    TFOTAThread* first = form.FFOTAThread;
    EXPECT_TRUE(port.statePoll);
    EXPECT_TRUE(port.logBox.empty());  // the channel is not open: not shown
    form.ProcessChannelEvent(Event(A::EVENT_RX_BROADCAST));
    form.ProcessChannelEvent(Event(A::EVENT_RX_BROADCAST));
    EXPECT_EQ(form.FFOTAThread, first);
    EXPECT_EQ(form.bFirstPackReceived, sprReceiving);
}

// One event at a time on an open channel with a worker: the lines, fields and flags.
TEST_F(MainFormLink, ChannelEventsDecodeIntoLinesFieldsAndFlags) {
    struct Case {
        const char* what;
        std::uint8_t code;
        std::array<std::uint8_t, 8> page;
        std::vector<std::string> lines;
        std::function<void(TMainForm&, TFOTAThread&)> check;
    } cases[] = {
        {"first rx fail shows 0.00 then .0",
         A::EVENT_RX_FAIL,
         {},
         {"Rx Fail RF Freq:71 NoConnectCount:0.00.0", "msg: EVENT_RX_FAIL"},
         [](TMainForm& f, TFOTAThread&) { EXPECT_EQ(f.usNoConnection, 1.0); }},
        {"tx", A::EVENT_TX, {}, {"msg: EVENT_TX"}, nullptr},
        {"transfer completed",
         A::EVENT_TRANSFER_TX_COMPLETED,
         {},
         {"msg: EVENT_TRANSFER_TX_COMPLETED"},
         [](TMainForm& f, TFOTAThread&) {
             EXPECT_TRUE(f.wait_msg_tx);
             EXPECT_EQ(f.usRxCount, 1);
         }},
        {"transfer failed",
         A::EVENT_TRANSFER_TX_FAILED,
         {},
         {"Ack Fail RF Freq:71 RxCount:0 NoConnectCount:0", "msg: EVENT_TRANSFER_TX_FAILED"},
         [](TMainForm& f, TFOTAThread&) { EXPECT_TRUE(f.wait_msg_tx_fail); }},
        {"drop to search with no rx count",
         A::EVENT_RX_FAIL_GO_TO_SEARCH,
         {},
         {"Drop to Search"},
         nullptr},
        {"collision", A::EVENT_CHANNEL_COLLISION, {}, {}, nullptr},
        {"channel closed shows the last diagnostic page",
         A::EVENT_CHANNEL_CLOSED,
         {},
         {"msg(0): [00][00][00][00][00][00][00][00] RF Freq:71"},
         nullptr},
        {"acknowledged version without sub-version keeps the unit type",
         A::EVENT_RX_ACKNOWLEDGED,
         {0x11, 0x76, 0x00, 0x11},
         {"Firmware version: 118", "Recv(0): [11][76][00][11][00][00][00][00] RF Freq:71 RxCount:1",
          "msg: EVENT_RX_ACKNOWLEDGED"},
         [](TMainForm& f, TFOTAThread& w) {
             EXPECT_EQ(w.FirmwareVersion(), 118);
             EXPECT_EQ(w.FirmwareSubVersion(), 0);
             EXPECT_EQ(w.UnitType(), 0);
             EXPECT_TRUE(f.wait_ack_fw_ver);
         }},
        {"acknowledged version with sub-version sets the unit type",
         A::EVENT_RX_ACKNOWLEDGED,
         {0x11, 0x05, 0x56, 0x0E},
         {"Firmware version: 5", "Recv(0): [11][05][56][0E][00][00][00][00] RF Freq:71 RxCount:1",
          "msg: EVENT_RX_ACKNOWLEDGED"},
         [](TMainForm&, TFOTAThread& w) { EXPECT_EQ(w.UnitType(), 14); }},
        {"read reply while both reads are awaited",
         A::EVENT_RX_ACKNOWLEDGED,
         {0x02, 0x0A},
         {"Unit type : 10", "Zero Position : 10",
          "Recv(0): [02][0A][00][00][00][00][00][00] RF Freq:71 RxCount:1",
          "msg: EVENT_RX_ACKNOWLEDGED"},
         [](TMainForm& f, TFOTAThread& w) {
             EXPECT_EQ(w.UnitType(), 10);
             EXPECT_EQ(w.ZeroPosition(), 10);
             EXPECT_TRUE(f.wait_ack_unit_type);
             EXPECT_TRUE(f.wait_ack_zero_pos);
         }},
        {"write confirmation",
         A::EVENT_RX_ACKNOWLEDGED,
         {0xFF, 0x03},
         {"ACK write eprom received!",
          "Recv(0): [FF][03][00][00][00][00][00][00] RF Freq:71 RxCount:1",
          "msg: EVENT_RX_ACKNOWLEDGED"},
         [](TMainForm& f, TFOTAThread&) { EXPECT_FALSE(f.wait_ack_rd_eprom); }},
        {"another command's acknowledgement only shows",
         A::EVENT_RX_ACKNOWLEDGED,
         {0xFF, 0x02},
         {"Recv(0): [FF][02][00][00][00][00][00][00] RF Freq:71 RxCount:1",
          "msg: EVENT_RX_ACKNOWLEDGED"},
         [](TMainForm& f, TFOTAThread&) { EXPECT_TRUE(f.wait_ack_rd_eprom); }},
        {"block acknowledgement",
         A::EVENT_RX_ACKNOWLEDGED,
         {0x13, 0x00, 0x1A, 0x00},
         {"Recv(0): [13][00][1A][00][00][00][00][00] RF Freq:71 RxCount:1",
          "msg: EVENT_RX_ACKNOWLEDGED"},
         [](TMainForm& f, TFOTAThread&) { EXPECT_FALSE(f.wait_ack); }},
        {"broadcast version never sets the unit type and ends the boot wait",
         A::EVENT_RX_BROADCAST,
         {0x11, 0x01, 0x55, 0x09},
         {"Firmware version: 1",
          "Recv(0): [11][01][55][09][00][00][00][00] RF Freq:71 RxCount:1 EVENT_RX_BROADCAST"},
         [](TMainForm& f, TFOTAThread& w) {
             EXPECT_EQ(w.FirmwareVersion(), 1);
             EXPECT_EQ(w.FirmwareSubVersion(), 0x55);
             EXPECT_EQ(w.UnitType(), 0);
             EXPECT_FALSE(w.WaitingForBoot());
             EXPECT_TRUE(f.wait_ack_fw_ver);
         }},
        {"burst packet from the trainer",
         A::EVENT_RX_BURST_PACKET,
         {},
         {"msg(0): [00][00][00][00][00][00][00][00] RF Freq:71"},
         nullptr},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        Rig rig;
        auto& [caseClock, casePort, caseLib, f] = rig;
        f.FormCreate(nullptr);
        f.bOpenChannel = true;
        f.bFirstPackReceived = sprReceiving;
        f.wait_ack_rd_eprom = true;
        f.wait_ack = true;
        f.Button7Click();  // the worker exists but does not run: this thread never waits
        f.FFOTAThread->SetWaitingForBoot(true);
        casePort.logBox.clear();
        f.ProcessChannelEvent(Event(c.code, c.page));
        EXPECT_EQ(casePort.logBox, c.lines);
        if (c.check) {
            c.check(f, *f.FFOTAThread);
        }
        f.FFOTAThread->Terminate();
    }
}

TEST_F(MainFormLink, TransferCompletionsStopCountingAtTwiceTheBound) {
    form.FormCreate(nullptr);
    form.bOpenChannel = true;
    form.bFirstPackReceived = sprReceiving;
    for (int i = 0; i < 12; ++i) {
        form.ProcessChannelEvent(Event(A::EVENT_TRANSFER_TX_COMPLETED));
    }
    EXPECT_EQ(form.usRxCount, 8);
    port.logBox.clear();
    form.ProcessChannelEvent(Event(A::EVENT_RX_FAIL_GO_TO_SEARCH));
    EXPECT_EQ(port.logBox,
              (std::vector<std::string>{"msg: EVENT_RX_FAIL_GO_TO_SEARCH", "Drop to Search"}));
    EXPECT_EQ(form.usRxCount, 0);
}

TEST_F(MainFormLink, ResetBoundFollowsTheMessagePeriod) {
    struct Case {
        std::uint16_t period;
        double bound;
    } cases[] = {
        {31814, 4.0}, {29790, 4.0}, {29789, 65535.0 / 29789 + 1}, {8077, 65535.0 / 8077 + 1}};
    for (const auto& c : cases) {
        form.MessagePeriod = c.period;
        form.Reset();
        EXPECT_DOUBLE_EQ(form.ucRxFailSearchCount, c.bound) << c.period;
    }
}

TEST_F(MainFormLink, ConnectionLostReopensDuringTheBootWaitAndStopsTheWorkerOtherwise) {
    for (bool waitingForBoot : {true, false}) {
        SCOPED_TRACE(waitingForBoot ? "boot wait" : "mid-transfer");
        Rig rig;
        auto& [caseClock, casePort, caseLib, f] = rig;
        f.FormCreate(nullptr);
        f.bOpenChannel = true;
        f.bFirstPackReceived = sprReceiving;
        f.Button7Click();
        f.FFOTAThread->SetWaitingForBoot(waitingForBoot);
        f.ProcessChannelEvent(Event(A::EVENT_RX_SEARCH_TIMEOUT));
        const bool reopened = !caseLib.calls.empty() && caseLib.calls.back() == "OpenChannel(0)";
        EXPECT_EQ(reopened, waitingForBoot);
        EXPECT_EQ(f.FFOTAThread->Terminated(), !waitingForBoot);
        EXPECT_FALSE(casePort.activity);
        EXPECT_EQ(casePort.messages,
                  std::vector<std::string>{
                      "Connection Lost,restart the software and try to run it again."});
        EXPECT_EQ(casePort.terminated, std::vector<int>{0});
        // The stopped worker's state stays readable.
        EXPECT_EQ(f.FFOTAThread->GetState(), psfBeforeStart);
        f.FFOTAThread->Terminate();
    }
}

TEST_F(MainFormLink, NoStickClosesTheWindowWithTheMessage) {
    lib.initResult = A::FALSE;
    form.FormCreate(nullptr);
    form.Btn_StartClick();
    EXPECT_EQ(port.messages,
              std::vector<std::string>{"ANT USB Dongle Required!! Please plug it in ."});
    EXPECT_EQ(port.closeRequests, 1);
    EXPECT_FALSE(port.activity);
    EXPECT_FALSE(form.LibraryInitialised());
}

TEST_F(MainFormLink, ClosingBeforeTheChannelIsOpenStillReleasesTheLibrary) {
    Start(1234);
    Answer(A::MESG_NETWORK_KEY_ID);
    form.FormClose();
    EXPECT_EQ(lib.calls.back(), "Close");
    EXPECT_FALSE(lib.response);
    EXPECT_FALSE(lib.event);
    const auto closes = std::count(lib.calls.begin(), lib.calls.end(), "Close");
    form.FormClose();
    form.FormDestroy();
    EXPECT_EQ(std::count(lib.calls.begin(), lib.calls.end(), "Close"), closes);
}

// A response lost on the way stops the chain of commands: the window says so
// after a while instead of waiting for ever, and releases the stick.
TEST_F(MainFormLink, ChannelSetUpThatNeverFinishesEndsWithAMessage) {
    Start(1234);
    Answer(A::MESG_NETWORK_KEY_ID);  // then nothing more comes
    for (int tick = 0; tick < 60 && port.closeRequests == 0; ++tick) {
        clock.sleepFor(std::chrono::milliseconds(300));
        form.tmrProcessANTMessageTimer();
    }
    ASSERT_EQ(port.messages.size(), 1u);
    EXPECT_EQ(port.messages[0].rfind("The ANT USB stick did not finish opening the channel", 0),
              0u);
    EXPECT_GE(clock.now(), std::chrono::seconds(15));
    EXPECT_EQ(port.closeRequests, 1);
    EXPECT_FALSE(port.activity);
}

TEST_F(MainFormLink, StickLostBeforeAnUpgradeEndsWithAMessageAndDuringOneIsOnlyLogged) {
    for (bool upgrading : {false, true}) {
        SCOPED_TRACE(upgrading ? "upgrading" : "before the upgrade");
        Rig rig;
        auto& [caseClock, casePort, caseLib, f] = rig;
        f.FormCreate(&store);
        f.Btn_StartClick();
        if (upgrading) {
            f.Button7Click();
        }
        ASSERT_TRUE(caseLib.stickLostHandler);
        caseLib.stickLostHandler();  // on the library's thread: handled on the UI thread
        EXPECT_TRUE(casePort.messages.empty());
        casePort.RunPosted();
        EXPECT_EQ(casePort.logBox.back(), "ANT USB stick lost");
        EXPECT_EQ(casePort.messages.size(), upgrading ? 0u : 1u);
        EXPECT_EQ(casePort.closeRequests, upgrading ? 0 : 1);
        if (f.FFOTAThread) {
            f.FFOTAThread->Terminate();
        }
    }
}

}  // namespace
