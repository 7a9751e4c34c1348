// A broken or hostile stick talking to the whole window (library, queue,
// pump, channel event handler): nothing it sends may crash the program,
// wedge the decoder or lose a message that was well formed.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <string>

#include "antlink/ANTDEFINES.h"
#include "antlink/AntSerialLibrary.h"
#include "log/EventLog.h"
#include "platform/EventLoop.h"
#include "tests/antlink/FakeStick.h"
#include "ui/HeadlessWindow.h"

using namespace fota;
using namespace fota::ant;
using fota::ant::testing::Bytes;
using fota::ant::testing::FakeStick;
using namespace std::chrono_literals;

namespace {

// The window on a scripted stick that answers the bring-up, with its channel open.
class OpenWindow {
public:
    OpenWindow() {
        form().FormCreate(nullptr);
        form().Btn_StartClick();
        loop_.runUntil([&] { return form().bOpenChannel; }, 60s);
    }

    TMainForm& form() { return window_.form(); }
    FakeStick& stick() { return stick_; }
    EventLoop& loop() { return loop_; }
    AntSerialLibrary& library() { return library_; }
    std::size_t lines(const std::string& text) const {
        const auto it = counts_.find(text);
        return it == counts_.end() ? 0 : it->second;
    }
    bool closed() const { return window_.closed(); }

private:
    // The event log goes to a folder of its own for as long as the window lives.
    struct LogFolder {
        explicit LogFolder(const Clock& clock)
            : dir(std::filesystem::temp_directory_path() /
                  ("fota-hostile-stick-" + std::to_string(::getpid()))) {
            std::filesystem::create_directories(dir);
            eventlog::setFolder(dir.string());
            eventlog::setClock(&clock);
            eventlog::setDebugOutput(false);
        }
        ~LogFolder() {
            eventlog::setClock(nullptr);
            eventlog::setFolder(std::nullopt);
            std::error_code ignored;
            std::filesystem::remove_all(dir, ignored);
        }
        std::filesystem::path dir;
    };

    VirtualClock clock_;
    LogFolder log_{clock_};
    InProcessLine line_{clock_};
    FakeStick stick_{clock_, line_};
    AntSerialLibrary library_{clock_,
                              [this](UCHAR, ULONG) { return OpenedTransport(line_.programEnd()); }};
    EventLoop loop_{clock_};
    std::map<std::string, std::size_t> counts_;  // log box lines seen, by text
    HeadlessWindow window_{loop_, library_, MakeObserver()};

    HeadlessWindow::Observer MakeObserver() {
        HeadlessWindow::Observer o;
        o.logBoxLine = [this](const std::string& line) { ++counts_[line]; };
        return o;
    }
};

Bytes Frame(std::uint8_t id, const Bytes& payload) {
    return encodeFrame(id, payload);
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes Random(std::size_t n, std::uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes b(n);
    std::generate(b.begin(), b.end(), [&] { return static_cast<std::uint8_t>(rng()); });
    return b;
}

// A broadcast page whose Recv line proves that the decoder found its feet again.
const Bytes kMarker = Frame(MESG_BROADCAST_DATA_ID, {0, 0x55, 1, 2, 3, 4, 5, 6, 7});
const std::string kMarkerLine =
    "Recv(0): [55][01][02][03][04][05][06][07] RF Freq:71 RxCount:1 EVENT_RX_BROADCAST";

TEST(HostileStick, MalformedInputIsDroppedAndTheNextGoodMessageStillArrives) {
    struct Case {
        const char* name;
        Bytes bytes;
    };
    const Case cases[] = {
        {"length 255 and what follows", Bytes{MESG_TX_SYNC, 0xFF, 0x4E} + Random(300, 1)},
        {"zero-length frames",
         Bytes{MESG_TX_SYNC, 0x00, 0x40, 0xE4, MESG_TX_SYNC, 0x00, 0x4E, 0xEA}},
        {"sync bytes only", Bytes(5000, MESG_TX_SYNC)},
        {"a frame cut short", Bytes{MESG_TX_SYNC, 0x09, 0x4E, 0x00, 0x11}},
        {"bad checksum", Bytes{MESG_TX_SYNC, 0x03, 0x40, 0x00, 0x01, 0x02, 0x00}},
        {"unknown message ID", Frame(0xEE, {0, 0, 0, 0, 0, 0, 0, 0, 0})},
        {"event too short for its ID", Frame(MESG_RESPONSE_EVENT_ID, {0})},
        {"data too short for its ID", Frame(MESG_BROADCAST_DATA_ID, {0, 1, 2})},
        {"event for a channel never opened", Frame(MESG_RESPONSE_EVENT_ID, {5, 1, 0x02})},
        {"data for channel 255", Frame(MESG_ACKNOWLEDGED_DATA_ID, {255, 1, 2, 3, 4, 5, 6, 7, 8})},
        {"unknown event code", Frame(MESG_RESPONSE_EVENT_ID, {0, 1, 0xEE})},
        {"burst packet from the stick", Frame(0x50, {0xE0, 1, 2, 3, 4, 5, 6, 7, 8})},
        {"one megabyte of garbage", Random(1 << 20, 2)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OpenWindow w;
        ASSERT_TRUE(w.form().bOpenChannel);
        w.stick().sendRaw(c.bytes + kMarker);
        w.loop().runUntil([&] { return w.lines(kMarkerLine) > 0; }, 120s);
        EXPECT_EQ(w.lines(kMarkerLine), 1u);
        EXPECT_FALSE(w.library().stickLost());
        EXPECT_FALSE(w.closed());
    }
}

// Events arrive far faster than the pump's one per 300 ms: the queue takes
// them all and gives each to the handler, in order, none dropped.
TEST(HostileStick, AFloodOfEventsIsQueuedAndHandledToTheLast) {
    constexpr std::size_t kEvents = 20000;
    OpenWindow w;
    const Bytes event = Frame(MESG_RESPONSE_EVENT_ID, {0, 1, EVENT_RX_FAIL});
    Bytes flood;
    for (std::size_t i = 0; i < kEvents; ++i) {
        flood.insert(flood.end(), event.begin(), event.end());
    }
    w.stick().sendRaw(flood + kMarker);
    w.loop().runUntil([&] { return w.lines(kMarkerLine) > 0; }, 3h);
    EXPECT_EQ(w.lines("msg: EVENT_RX_FAIL"), kEvents);
    EXPECT_EQ(w.lines(kMarkerLine), 1u);
    EXPECT_EQ(w.form().ChannelGenericQueue->Count(), 0u);
    // All of them waited in the queue at once (the peak is what memory must hold).
    EXPECT_GE(w.form().ChannelGenericQueue->Peak(), kEvents - 10);
    RecordProperty("queue_peak", static_cast<int>(w.form().ChannelGenericQueue->Peak()));
}

}  // namespace
