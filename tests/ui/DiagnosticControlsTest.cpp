// The main window's service controls: the exact pages they send, the half
// second "Fw Version" waits with the window still handling its messages, the
// trainer-type switch of the device number, and the download dialog of btn1.

#include <gtest/gtest.h>

#include "platform/Clock.h"
#include "tests/ui/Fakes.h"
#include "ui/ConfigForm.h"

using namespace fota;
using namespace fota::testing;

namespace {

using Bytes = std::vector<std::uint8_t>;

// Records the broadcast pages too, and when each page left.
class TimedLibrary : public ScriptedAntLibrary {
public:
    explicit TimedLibrary(Clock& clock) : clock_(clock) {}
    ant::BOOL ANT_SendBroadcastData(ant::UCHAR ch, const ant::UCHAR* d) override {
        pages.push_back({"broadcast", Bytes(d, d + 8), clock_.now()});
        return ScriptedAntLibrary::ANT_SendBroadcastData(ch, d);
    }
    ant::BOOL ANT_SendAcknowledgedData(ant::UCHAR ch, const ant::UCHAR* d) override {
        pages.push_back({"acknowledged", Bytes(d, d + 8), clock_.now()});
        return ScriptedAntLibrary::ANT_SendAcknowledgedData(ch, d);
    }
    struct Page {
        std::string kind;
        Bytes bytes;
        Duration at;
    };
    std::vector<Page> pages;

private:
    Clock& clock_;
};

// Counts how often the window was let handle its messages, and when.
class ProcessingPort : public RecordingPort {
public:
    explicit ProcessingPort(Clock& clock) : clock_(clock) {}
    void ProcessMessages() override { handled.push_back(clock_.now()); }
    std::vector<Duration> handled;

private:
    Clock& clock_;
};

class DiagnosticControls : public ::testing::Test {
protected:
    VirtualClock clock;
    ProcessingPort port{clock};
    TimedLibrary library{clock};
    TMainForm form{port, library, clock};
};

struct PageCase {
    const char* name;
    void (TMainForm::*click)();
    const char* kind;
    Bytes bytes;
    const char* line;
    std::int64_t delayMs;
};

void PrintTo(const PageCase& c, std::ostream* os) {
    *os << c.name;
}

class PageControls : public DiagnosticControls, public ::testing::WithParamInterface<PageCase> {};

TEST_P(PageControls, SendTheirPageOnChannelZeroWithoutAnOpenChannel) {
    const PageCase& c = GetParam();
    ASSERT_FALSE(form.bOpenChannel);
    const Duration start = clock.now();
    (form.*c.click)();

    ASSERT_EQ(library.pages.size(), 1u);
    EXPECT_EQ(library.pages[0].kind, c.kind);
    EXPECT_EQ(library.pages[0].bytes, c.bytes);
    EXPECT_EQ(library.pages[0].at - start, std::chrono::milliseconds(c.delayMs));
    EXPECT_EQ(Bytes(form.aucTxBuf.begin(), form.aucTxBuf.end()), c.bytes);
    EXPECT_EQ(port.logBox, std::vector<std::string>{c.line});
}

INSTANTIATE_TEST_SUITE_P(
    Diagnostic, PageControls,
    ::testing::Values(PageCase{"SelectConsole",
                               &TMainForm::Button2Click,
                               "broadcast",
                               {0x09, 0x01, 0, 0, 0, 0, 0, 0},
                               "ANT_SendBroadcastData Select Console",
                               0},
                      PageCase{"MaxResistance",
                               &TMainForm::Button3Click,
                               "broadcast",
                               {0x01, 0xFF, 0, 0, 0, 0, 0, 0},
                               "ANT_SendBroadcastData MAX Resistance",
                               0},
                      PageCase{"FwVersion",
                               &TMainForm::Button5Click,
                               "acknowledged",
                               {0x11, 0, 0, 0, 0, 0, 0, 0x11},
                               "ANT_SendBroadcastData Request Firmware Version (FOTA)",
                               500}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(DiagnosticControls, FwVersionKeepsTheWindowHandlingMessagesWhileItWaits) {
    form.Button5Click();
    ASSERT_GE(port.handled.size(), 10u);
    EXPECT_EQ(port.handled.front(), Duration{0});
    for (std::size_t i = 1; i < port.handled.size(); ++i) {
        EXPECT_LE(port.handled[i] - port.handled[i - 1], std::chrono::milliseconds(10));
    }
    EXPECT_EQ(port.handled.back(), std::chrono::milliseconds(500));
}

TEST_F(DiagnosticControls, TheLastPageSentShowsInUnhandledEventLines) {
    form.Button3Click();
    form.bOpenChannel = true;
    form.bFirstPackReceived = sprReceiving;  // no upgrade start
    TANTGenericMessage m;
    m.MessageType = mtChannelEvent;
    m.Event = 0x07;  // EVENT_CHANNEL_CLOSED
    m.Buffer.assign(9, 0);
    form.ProcessChannelEvent(m);
    EXPECT_EQ(port.logBox.back(), "msg(0): [01][FF][00][00][00][00][00][00] RF Freq:71");
}

struct TypeCase {
    const char* name;
    const char* text;
    std::int32_t expected;
};

void PrintTo(const TypeCase& c, std::ostream* os) {
    *os << c.name;
}

class TrainerTypeSwitch : public DiagnosticControls,
                          public ::testing::WithParamInterface<TypeCase> {};

TEST_P(TrainerTypeSwitch, PutsTheMatchingNumberIntoTheBox) {
    form.TrainerDeviceNumber = 1234;
    form.ConsoleDeviceNumber = 4321;
    form.txtDeviceNumber = 55;
    form.cmbTipoTrainerChange(GetParam().text);
    EXPECT_EQ(form.txtDeviceNumber, GetParam().expected);
    EXPECT_EQ(form.cmbTipoTrainer, GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Diagnostic, TrainerTypeSwitch,
                         ::testing::Values(TypeCase{"Console", "Console", 4321},
                                           TypeCase{"Mova", "Mova", 1234},
                                           TypeCase{"LowerCaseConsole", "console", 55},
                                           TypeCase{"Duf", "Duf", 55}, TypeCase{"Empty", "", 55}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST_F(DiagnosticControls, ConsoleTypeStartsOnTheConsolesChannel) {
    form.CreateChannelGenericQueue();
    form.ConsoleDeviceNumber = 4321;
    form.cmbTipoTrainerChange("Console");
    form.Btn_StartClick();
    EXPECT_EQ(form.RFChannel, 70);
    EXPECT_EQ(form.MessagePeriod, 8077);
    EXPECT_EQ(form.DeviceType, 18);
    EXPECT_EQ(form.DeviceNumber, 4321);
}

TEST_F(DiagnosticControls, Btn1ShowsTheDownloadDialogForUnitType9) {
    form.btn1Click();
    form.btn1Click();
    EXPECT_EQ(port.downloadDialogs, (std::vector<std::uint8_t>{9, 9}));
}

}  // namespace
