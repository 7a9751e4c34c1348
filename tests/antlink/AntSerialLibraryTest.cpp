#include "antlink/AntSerialLibrary.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "antlink/ANTDEFINES.h"
#include "antlink/AntFrame.h"
#include "antlink/AntMessages.h"
#include "antlink/InProcessTransport.h"
#include "platform/Clock.h"
#include "tests/antlink/FakeStick.h"

using namespace fota;
using namespace fota::ant;
using fota::ant::testing::FakeStick;
using namespace std::chrono_literals;

namespace {

using Bytes = std::vector<std::uint8_t>;

// What one callback call saw: its arguments and the buffer the library wrote.
struct Delivery {
    enum Kind { Response, Event } kind;
    UCHAR channel;
    UCHAR code;
    Bytes buffer;
    bool operator==(const Delivery&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Delivery& d) {
    os << (d.kind == Delivery::Response ? "response(" : "event(") << int(d.channel) << ", 0x"
       << std::hex << int(d.code) << ") [";
    for (auto b : d.buffer) {
        os << ' ' << int(b);
    }
    return os << " ]" << std::dec;
}

// Registers both callbacks the way the program does (copy the buffer, queue),
// with buffers that have a guard tail the library must never touch.
class Recorder {
public:
    static constexpr std::uint8_t kGuard = 0xCC;

    explicit Recorder(Clock& clock) : clock_(clock) {
        response_.fill(kGuard);
        rx_.fill(kGuard);
    }

    void attach(AntLibrary& lib, UCHAR channel = 0) {
        lib.ANT_AssignResponseFunction(
            [this](UCHAR ch, UCHAR id) {
                record(
                    {Delivery::Response, ch, id, Bytes(response_.begin(), response_.begin() + 4)});
                return true;
            },
            response_.data());
        lib.ANT_AssignChannelEventFunction(
            channel,
            [this](UCHAR ch, UCHAR code) {
                record({Delivery::Event, ch, code, Bytes(rx_.begin(), rx_.begin() + 9)});
                return true;
            },
            rx_.data());
    }

    std::vector<Delivery> all() const {
        std::lock_guard lock(mutex_);
        return deliveries_;
    }
    std::size_t count() const {
        std::lock_guard lock(mutex_);
        return deliveries_.size();
    }
    bool guardsIntact() const {
        return std::all_of(response_.begin() + 4, response_.end(),
                           [](auto b) { return b == kGuard; }) &&
               std::all_of(rx_.begin() + 9, rx_.end(), [](auto b) { return b == kGuard; });
    }

private:
    void record(Delivery d) {
        {
            std::lock_guard lock(mutex_);
            deliveries_.push_back(std::move(d));
        }
        clock_.notify();
    }

    Clock& clock_;
    std::array<UCHAR, 4 + 16> response_{};
    std::array<UCHAR, 9 + 16> rx_{};
    mutable std::mutex mutex_;
    std::vector<Delivery> deliveries_;
};

// The library on an in-process line to a scripted stick, in virtual time.
// One rig per case: a line serves one stick.
struct Rig {
    explicit Rig(FakeStick::Script script = {})
        : stick(std::make_unique<FakeStick>(clock, line, script)) {}

    // An initialised library with both callbacks on channel 0.
    void openAndAttach() {
        ASSERT_EQ(lib.ANT_Init(0, 57600, 0, 0), TRUE);
        recorder.attach(lib);
        // The start-up message of the reset in ANT_Init reached nobody.
        ASSERT_TRUE(waitFor([&] { return lib.stats().framesIn >= 1; }));
        stick->clear();
    }
    bool waitFor(const std::function<bool()>& ready, Duration timeout = 1s) {
        return clock.waitFor(timeout, ready) == WaitResult::Ready;
    }
    // Lets the reader handle everything the stick has sent so far.
    void settle() { clock.sleepFor(10ms); }

    VirtualClock clock;
    InProcessLine line{clock};
    std::unique_ptr<FakeStick> stick;
    Recorder recorder{clock};
    AntSerialLibrary lib{clock, [this](UCHAR, ULONG) { return line.programEnd(); }};
};

// ------------------------------------------------------------------ init

TEST(AntLibraryOnLine, InitIsTrueOnlyWhenAStickAnswersAndWaitsInVirtualTime) {
    struct Case {
        const char* what;
        FakeStick::Script script;
        BOOL result;
        Duration waited;
        std::size_t messagesSent;  // reset, then the capabilities request
    } cases[] = {
        {"start-up message after the reset", {true, false, true}, TRUE, 0ms, 1},
        {"no start-up message, answers a request",
         {false, true, true},
         TRUE,
         AntSerialLibrary::kAnswerTimeout,
         2},
        {"silent stick", {false, false, false}, FALSE, 2 * AntSerialLibrary::kAnswerTimeout, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Rig r(c.script);
        const auto wallStart = std::chrono::steady_clock::now();
        const Duration start = r.clock.now();
        EXPECT_EQ(r.lib.ANT_Init(0, 57600, 0, 0), c.result);
        EXPECT_EQ(r.clock.now() - start, c.waited);
        EXPECT_LT(std::chrono::steady_clock::now() - wallStart, 1s);
        EXPECT_EQ(r.stick->frameCount(), c.messagesSent);
        EXPECT_EQ(r.stick->frames().front(), (Frame{MESG_SYSTEM_RESET_ID, {0x00}}));
        if (c.result == TRUE) {
            EXPECT_TRUE(r.lib.isSimulated());
            EXPECT_EQ(r.lib.stickDescription(), "simulated stick");
            EXPECT_EQ(r.lib.lastError(), "");
        } else {
            // The line was closed again; nothing claims a stick is there.
            EXPECT_TRUE(r.waitFor([&] { return r.stick->ended(); }));
            EXPECT_FALSE(r.lib.isSimulated());
            EXPECT_EQ(r.lib.lastError(), "no answer from an ANT stick on simulated stick");
            EXPECT_EQ(r.lib.ANT_ResetSystem(), FALSE);
        }
    }
}

TEST(AntLibraryOnLine, InitIsFalseWhenNoStickCanBeOpened) {
    struct Case {
        const char* what;
        TransportOpener opener;
        std::string error;
    } cases[] = {
        {"opener names the problem",
         [](UCHAR, ULONG) {
             return OpenedTransport::failure("cannot open /dev/ttyUSB0: Permission denied");
         },
         "cannot open /dev/ttyUSB0: Permission denied"},
        {"opener returns nothing", [](UCHAR, ULONG) { return nullptr; }, "no ANT USB stick found"},
        {"opener throws",
         [](UCHAR, ULONG) -> OpenedTransport { throw std::runtime_error("broken opener"); },
         "broken opener"},
    };
    VirtualClock clock;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        AntSerialLibrary other(clock, c.opener);
        EXPECT_EQ(other.ANT_Init(0, 57600, 0, 0), FALSE);
        EXPECT_EQ(other.lastError(), c.error);
        EXPECT_EQ(other.ANT_SendAcknowledgedData(0, Bytes(8).data()), FALSE);
        EXPECT_FALSE(other.isSimulated());
        other.ANT_Close();
    }
}

TEST(AntLibraryOnLine, OpenerIsGivenTheDeviceNumberAndBaudRate) {
    Rig r;
    UCHAR gotDevice = 99;
    ULONG gotBaud = 0;
    AntSerialLibrary other(r.clock, [&](UCHAR device, ULONG baud) {
        gotDevice = device;
        gotBaud = baud;
        return r.line.programEnd();
    });
    EXPECT_EQ(other.ANT_Init(3, 57600, 0, 0), TRUE);
    EXPECT_EQ(gotDevice, 3);
    EXPECT_EQ(gotBaud, 57600u);
}

// ---------------------------------------------------------- what is sent

TEST(AntLibraryOnLine, CommandsGoOutAsExactBytes) {
    Rig r;
    r.openAndAttach();
    const Bytes key = {1, 2, 3, 4, 5, 6, 7, 8};
    const Bytes versionRequest = {0x11, 0, 0, 0, 0, 0, 0, 0x11};
    const Bytes selectConsole = {0x09, 0x01, 0, 0, 0, 0, 0, 0};
    const Bytes header = {0x12, 0x02, 0x00, 0x1A, 0x00, 0xBE, 0xEF, 0x12};
    struct Case {
        const char* what;
        std::function<BOOL()> call;
        Bytes wire;
    } cases[] = {
        {"reset", [&] { return r.lib.ANT_ResetSystem(); }, {0xA4, 0x01, 0x4A, 0x00, 0xEF}},
        {"network key",
         [&] { return r.lib.ANT_SetNetworkKey(0, key.data()); },
         {0xA4, 0x09, 0x46, 0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0xE3}},
        {"assign slave channel",
         [&] { return r.lib.ANT_AssignChannel(0, CHANNEL_TYPE_SLAVE, 0); },
         {0xA4, 0x03, 0x42, 0x00, 0x00, 0x00, 0xE5}},
        {"assign master channel 1 on network 1",
         [&] { return r.lib.ANT_AssignChannel(1, CHANNEL_TYPE_MASTER, 1); },
         {0xA4, 0x03, 0x42, 0x01, 0x10, 0x01, 0xF5}},
        {"channel id, device number little-endian",
         [&] { return r.lib.ANT_SetChannelId(0, 1234, 19, 1); },
         {0xA4, 0x05, 0x51, 0x00, 0xD2, 0x04, 0x13, 0x01, 0x34}},
        {"channel id of device 70000 (low 16 bits: 4464)",
         [&] { return r.lib.ANT_SetChannelId(0, static_cast<USHORT>(70000), 19, 1); },
         {0xA4, 0x05, 0x51, 0x00, 0x70, 0x11, 0x13, 0x01, 0x83}},
        {"period 31814 little-endian",
         [&] { return r.lib.ANT_SetChannelPeriod(0, 31814); },
         {0xA4, 0x03, 0x43, 0x00, 0x46, 0x7C, 0xDE}},
        {"period 8077",
         [&] { return r.lib.ANT_SetChannelPeriod(0, 8077); },
         {0xA4, 0x03, 0x43, 0x00, 0x8D, 0x1F, 0x76}},
        {"search timeout 15",
         [&] { return r.lib.ANT_SetChannelSearchTimeout(0, 15); },
         {0xA4, 0x02, 0x44, 0x00, 0x0F, 0xED}},
        {"rf frequency 71",
         [&] { return r.lib.ANT_SetChannelRFFreq(0, 71); },
         {0xA4, 0x02, 0x45, 0x00, 0x47, 0xA4}},
        {"open", [&] { return r.lib.ANT_OpenChannel(0); }, {0xA4, 0x01, 0x4B, 0x00, 0xEE}},
        {"acknowledged data",
         [&] { return r.lib.ANT_SendAcknowledgedData(0, versionRequest.data()); },
         {0xA4, 0x09, 0x4F, 0x00, 0x11, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x11, 0xE2}},
        {"broadcast data",
         [&] { return r.lib.ANT_SendBroadcastData(0, selectConsole.data()); },
         {0xA4, 0x09, 0x4E, 0x00, 0x09, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xEB}},
        {"burst of one packet: sequence 0 and the last bit",
         [&] { return r.lib.ANT_SendBurstTransfer(0, header.data(), 1); },
         {0xA4, 0x09, 0x50, 0x80, 0x12, 0x02, 0x00, 0x1A, 0x00, 0xBE, 0xEF, 0x12, 0x34}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        r.stick->clear();
        EXPECT_EQ(c.call(), TRUE);
        ASSERT_TRUE(r.waitFor([&] { return r.stick->bytes().size() >= c.wire.size(); }));
        r.settle();
        EXPECT_EQ(r.stick->bytes(), c.wire);
    }
}

TEST(AntLibraryOnLine, BurstPacketsCarrySequenceNumbersAndTheLastBit) {
    Rig r;
    r.openAndAttach();
    Bytes of65 = {0x00};
    for (int i = 0; i < 21; ++i) {
        of65.insert(of65.end(), {0x20, 0x40, 0x60});
    }
    of65.push_back(0xA0);  // sequence 1 with the last bit
    struct Case {
        UCHAR channel;
        Bytes channelBytes;  // one per packet
    } cases[] = {
        {0, {0x80}},
        {0, {0x00, 0xA0}},
        {0, {0x00, 0x20, 0x40, 0x60, 0xA0}},
        {3, {0x03, 0x23, 0x43, 0xE3}},
        {0, of65},
    };
    for (const auto& c : cases) {
        const std::size_t packets = c.channelBytes.size();
        SCOPED_TRACE(::testing::Message() << packets << " packets on channel " << int(c.channel));
        Bytes data(packets * 8);
        for (std::size_t i = 0; i < data.size(); ++i) {
            data[i] = static_cast<std::uint8_t>(i * 7 + 1);
        }
        r.stick->clear();
        EXPECT_EQ(r.lib.ANT_SendBurstTransfer(c.channel, data.data(), static_cast<USHORT>(packets)),
                  TRUE);
        ASSERT_TRUE(r.waitFor([&] { return r.stick->frameCount() >= packets; }));
        r.settle();
        const auto frames = r.stick->frames();
        ASSERT_EQ(frames.size(), packets);
        for (std::size_t i = 0; i < packets; ++i) {
            SCOPED_TRACE(::testing::Message() << "packet " << i);
            EXPECT_EQ(frames[i].id, MESG_BURST_DATA_ID);
            ASSERT_EQ(frames[i].payload.size(), 9u);
            EXPECT_EQ(frames[i].payload[0], c.channelBytes[i]);
            EXPECT_TRUE(std::equal(frames[i].payload.begin() + 1, frames[i].payload.end(),
                                   data.begin() + static_cast<long>(i * 8)));
        }
    }
    EXPECT_EQ(r.stick->decoderStats().badChecksums, 0u);
}

TEST(AntLibraryOnLine, SendsWithoutDataOrStickReturnFalseAndWriteNothing) {
    Rig r;
    const Bytes page(8);
    // Before ANT_Init there is no r.line.
    EXPECT_EQ(r.lib.ANT_SendAcknowledgedData(0, page.data()), FALSE);
    EXPECT_EQ(r.lib.ANT_ResetSystem(), FALSE);
    r.openAndAttach();
    EXPECT_EQ(r.lib.ANT_SendBurstTransfer(0, page.data(), 0), FALSE);
    EXPECT_EQ(r.lib.ANT_SendBurstTransfer(0, nullptr, 3), FALSE);
    EXPECT_EQ(r.lib.ANT_SendAcknowledgedData(0, nullptr), FALSE);
    EXPECT_EQ(r.lib.ANT_SendBroadcastData(0, nullptr), FALSE);
    EXPECT_EQ(r.lib.ANT_SetNetworkKey(0, nullptr), FALSE);
    r.settle();
    EXPECT_EQ(r.stick->frameCount(), 0u);
    r.lib.ANT_Close();
    EXPECT_EQ(r.lib.ANT_SendAcknowledgedData(0, page.data()), FALSE);
}

// ------------------------------------------------------ what is delivered

TEST(AntLibraryOnLine, CallbacksSeeTheirCodesAndBuffers) {
    Rig r;
    r.openAndAttach();
    const Bytes page = {0x11, 0x05, 0x56, 0x0E, 0xA1, 0xA2, 0xA3, 0xA4};
    auto data = [&](UCHAR channelByte) {
        Bytes p = {channelByte};
        p.insert(p.end(), page.begin(), page.end());
        return p;
    };
    const Bytes withPage = [&] {
        Bytes b = {0};
        b.insert(b.end(), page.begin(), page.end());
        return b;
    }();
    Bytes extended = data(0);
    extended.insert(extended.end(), {0x80, 0x34, 0x12, 0x13, 0x01});  // flag + channel id
    struct Case {
        const char* what;
        Frame frame;
        Delivery expected;
    } cases[] = {
        {"response: no error",
         {0x40, {0x00, 0x46, 0x00}},
         {Delivery::Response, 0, 0x40, {0x00, 0x46, 0x00, 0x00}}},
        {"response: failure code from channel 1",
         {0x40, {0x01, 0x51, 0x15}},
         {Delivery::Response, 1, 0x40, {0x01, 0x51, 0x15, 0x00}}},
        {"response with a byte after the code",
         {0x40, {0x00, 0x4B, 0x00, 0x07}},
         {Delivery::Response, 0, 0x40, {0x00, 0x4B, 0x00, 0x07}}},
        {"start-up message", {0x6F, {0x20}}, {Delivery::Response, 0, 0x6F, {0x20, 0, 0, 0}}},
        {"rf event: transfer completed",
         {0x40, {0x00, 0x01, 0x05}},
         {Delivery::Event, 0, EVENT_TRANSFER_TX_COMPLETED, {0, 0, 0, 0, 0, 0, 0, 0, 0}}},
        {"rf event: search timeout",
         {0x40, {0x00, 0x01, 0x01}},
         {Delivery::Event, 0, EVENT_RX_SEARCH_TIMEOUT, {0, 0, 0, 0, 0, 0, 0, 0, 0}}},
        {"broadcast data", {0x4E, data(0)}, {Delivery::Event, 0, EVENT_RX_BROADCAST, withPage}},
        {"acknowledged data",
         {0x4F, data(0)},
         {Delivery::Event, 0, EVENT_RX_ACKNOWLEDGED, withPage}},
        {"burst packet: sequence bits dropped from the channel",
         {0x50, data(0xA0)},
         {Delivery::Event, 0, EVENT_RX_BURST_PACKET, withPage}},
        {"broadcast with extended data: only channel and page are written",
         {0x4E, extended},
         {Delivery::Event, 0, EVENT_RX_BROADCAST, withPage}},
    };
    for (const auto& c : cases) {
        r.stick->send(c.frame.id, c.frame.payload);
    }
    const std::size_t n = std::size(cases);
    ASSERT_TRUE(r.waitFor([&] { return r.recorder.count() >= n; }));
    r.settle();
    const auto got = r.recorder.all();
    ASSERT_EQ(got.size(), n);
    for (std::size_t i = 0; i < n; ++i) {
        SCOPED_TRACE(cases[i].what);
        EXPECT_EQ(got[i], cases[i].expected);
    }
    EXPECT_TRUE(r.recorder.guardsIntact());
    EXPECT_EQ(r.lib.stats().delivered, n);
}

TEST(AntLibraryOnLine, EventsGoOnlyToTheirChannelsCallback) {
    Rig r;
    r.openAndAttach();
    Recorder channel2(r.clock);
    channel2.attach(r.lib, 2);  // also takes over the response callback
    const auto undeliveredBefore = r.lib.stats().undelivered;
    const Bytes page = {2, 1, 2, 3, 4, 5, 6, 7, 8};
    r.stick->send(0x4E, page);                            // channel 2: its callback
    r.stick->send(0x40, {0x05, 0x01, 0x02});              // channel 5: nobody
    r.stick->send(0x4F, {0x40, 1, 2, 3, 4, 5, 6, 7, 8});  // channel 64: beyond any channel
    ASSERT_TRUE(r.waitFor([&] { return r.lib.stats().framesIn >= 3; }));
    r.settle();
    ASSERT_EQ(channel2.count(), 1u);
    EXPECT_EQ(channel2.all()[0], (Delivery{Delivery::Event, 2, EVENT_RX_BROADCAST, page}));
    EXPECT_EQ(r.recorder.count(), 0u);
    EXPECT_EQ(r.lib.stats().undelivered, undeliveredBefore + 2);
}

// Garbage, padding, split frames, bad checksums, short payloads and unknown
// messages: only the whole, well-formed frames reach the callbacks.
TEST(AntLibraryOnLine, OnlyWellFormedFramesAreDelivered) {
    Rig r;
    r.openAndAttach();
    const Bytes response = encodeFrame(0x40, Bytes{0x00, 0x42, 0x00});
    const Bytes broadcast = encodeFrame(0x4E, Bytes{0, 1, 2, 3, 4, 5, 6, 7, 8});
    Bytes badChecksum = encodeFrame(0x40, Bytes{0x00, 0x43, 0x00});
    badChecksum.back() ^= 0x5A;

    r.stick->sendRaw({0x00, 0x00, 0x13, 0x37});                       // garbage and padding
    r.stick->sendRaw(Bytes(response.begin(), response.begin() + 3));  // a frame split...
    r.settle();
    r.stick->sendRaw(Bytes(response.begin() + 3, response.end()));  // ...across reads
    r.stick->sendRaw(badChecksum);
    r.stick->sendRaw({0xA4, 0xFF, 0x40});     // length no frame has
    r.stick->send(0x40, {0x00, 0x46});        // response without a code
    r.stick->send(0x4E, {0x00, 1, 2, 3, 4});  // data without a whole page
    r.stick->send(0x6F, {});                  // start-up without a reason
    r.stick->send(0x54, {0x08, 0x03, 0x00});  // a message nobody asked about
    r.stick->sendRaw({0, 0, 0});
    for (auto b : broadcast) {  // byte by byte
        r.stick->sendRaw({b});
        r.settle();
    }
    ASSERT_TRUE(r.waitFor([&] { return r.recorder.count() >= 2; }));
    r.settle();
    const auto got = r.recorder.all();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0], (Delivery{Delivery::Response, 0, 0x40, {0x00, 0x42, 0x00, 0x00}}));
    EXPECT_EQ(got[1], (Delivery{Delivery::Event, 0, 0x9A, {0, 1, 2, 3, 4, 5, 6, 7, 8}}));
    EXPECT_TRUE(r.recorder.guardsIntact());
    const auto s = r.lib.stats();
    EXPECT_EQ(s.malformed, 3u);
    EXPECT_EQ(s.ignored, 1u);
    EXPECT_EQ(s.decoder.badChecksums, 1u);
    EXPECT_EQ(s.decoder.badLengths, 1u);
    EXPECT_FALSE(r.lib.stickLost());
}

TEST(AntLibraryOnLine, NoCallbackAfterRemovalOrClose) {
    Rig r;
    r.openAndAttach();
    auto response = [&] { r.stick->send(0x40, {0x00, 0x46, 0x00}); };
    auto event = [&] { r.stick->send(0x40, {0x00, 0x01, 0x03}); };

    response();
    event();
    ASSERT_TRUE(r.waitFor([&] { return r.recorder.count() == 2; }));

    r.lib.ANT_AssignResponseFunction(nullptr, nullptr);
    response();
    event();
    ASSERT_TRUE(r.waitFor([&] { return r.recorder.count() == 3; }));
    r.settle();
    EXPECT_EQ(r.recorder.all().back().kind, Delivery::Event);

    r.lib.ANT_AssignChannelEventFunction(0, nullptr, nullptr);
    response();
    event();
    const auto framesBefore = r.lib.stats().framesIn;
    ASSERT_TRUE(r.waitFor([&] { return r.lib.stats().framesIn == framesBefore + 2; }));
    r.settle();
    EXPECT_EQ(r.recorder.count(), 3u);

    // Registered again, then closed with frames still on the r.line.
    r.recorder.attach(r.lib);
    response();
    event();
    r.lib.ANT_Close();
    r.settle();
    EXPECT_EQ(r.recorder.count(), 3u);
    EXPECT_FALSE(r.lib.isSimulated());
    r.lib.ANT_Close();  // twice is harmless
}

TEST(AntLibraryOnLine, ACallbackMayCallTheLibrary) {
    Rig r;
    r.openAndAttach();
    const Bytes page = {0x13, 0, 0, 0, 0, 0, 0, 0x13};
    int calls = 0;
    r.lib.ANT_AssignResponseFunction(
        [&](UCHAR, UCHAR) {
            ++calls;
            r.lib.ANT_SendAcknowledgedData(0, page.data());
            r.lib.ANT_AssignResponseFunction(nullptr, nullptr);  // removes itself
            return true;
        },
        nullptr);
    r.stick->send(0x40, {0x00, 0x46, 0x00});
    r.stick->send(0x40, {0x00, 0x42, 0x00});
    ASSERT_TRUE(r.waitFor([&] { return r.stick->frameCount() >= 1; }));
    r.settle();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(r.stick->frames().at(0).id, MESG_ACKNOWLEDGED_DATA_ID);

    // Closing from inside a callback ends the line without waiting for itself.
    r.lib.ANT_AssignChannelEventFunction(
        0,
        [&](UCHAR, UCHAR) {
            r.lib.ANT_Close();
            return true;
        },
        nullptr);
    r.stick->send(0x40, {0x00, 0x01, 0x03});
    ASSERT_TRUE(r.waitFor([&] { return r.stick->ended(); }));
    EXPECT_FALSE(r.lib.isSimulated());
    EXPECT_EQ(r.lib.ANT_SendAcknowledgedData(0, page.data()), FALSE);
    EXPECT_FALSE(r.lib.stickLost());  // closed on purpose, not lost
    EXPECT_EQ(r.lib.lastError(), "");
}

// ------------------------------------------------------- a vanishing stick

TEST(AntLibraryOnLine, UnpluggedStickStopsDeliveryWithoutCrashOrHang) {
    Rig r;
    r.openAndAttach();
    int lostCalls = 0;
    r.lib.setStickLostHandler([&] { ++lostCalls; });
    r.stick->send(0x40, {0x00, 0x01, 0x03});
    ASSERT_TRUE(r.waitFor([&] { return r.recorder.count() == 1; }));

    // Half a frame, then the stick is gone.
    const Bytes frame = encodeFrame(0x4F, Bytes{0, 1, 2, 3, 4, 5, 6, 7, 8});
    r.stick->sendRaw(Bytes(frame.begin(), frame.begin() + 5));
    r.settle();
    r.line.unplug();
    ASSERT_TRUE(r.waitFor([&] { return r.lib.stickLost(); }));
    r.settle();
    EXPECT_EQ(lostCalls, 1);
    EXPECT_EQ(r.recorder.count(), 1u);
    EXPECT_EQ(r.lib.lastError(), "the ANT stick on simulated stick stopped answering (unplugged?)");

    const Bytes page(8);
    EXPECT_EQ(r.lib.ANT_SendAcknowledgedData(0, page.data()), FALSE);
    EXPECT_EQ(r.lib.ANT_SendBurstTransfer(0, Bytes(64).data(), 8), FALSE);
    EXPECT_EQ(lostCalls, 1);

    const Duration before = r.clock.now();
    r.lib.ANT_Close();
    EXPECT_EQ(r.clock.now(), before);  // nothing to wait for
    // The line stays broken: a new start finds no r.stick, quickly.
    EXPECT_EQ(r.lib.ANT_Init(0, 57600, 0, 0), FALSE);
    EXPECT_NE(r.lib.lastError(), "");
}

TEST(AntLibraryOnLine, AStickThatFailsOnWriteIsLostToo) {
    Rig r;
    r.openAndAttach();
    int lostCalls = 0;
    r.lib.setStickLostHandler([&] { ++lostCalls; });
    r.lib.ANT_AssignChannelEventFunction(0, nullptr, nullptr);  // quiet reader
    r.line.unplug();
    // Whichever side notices first, the stick is lost exactly once.
    EXPECT_EQ(r.lib.ANT_SendAcknowledgedData(0, Bytes(8).data()), FALSE);
    ASSERT_TRUE(r.waitFor([&] { return r.lib.stickLost(); }));
    r.settle();
    EXPECT_EQ(lostCalls, 1);
}

// ------------------------------------------------------------ real threads

// A line that hands bytes over one at a time and yields between them, so that
// writes that are not serialised would interleave.
class ByteByByte final : public ByteTransport {
public:
    explicit ByteByByte(std::unique_ptr<ByteTransport> inner) : inner_(std::move(inner)) {}
    bool write(std::span<const std::uint8_t> bytes) override {
        for (auto b : bytes) {
            if (!inner_->write(std::span(&b, 1))) {
                return false;
            }
            std::this_thread::yield();
        }
        return true;
    }
    long read(std::span<std::uint8_t> buffer, std::stop_token stop, Duration deadline) override {
        return inner_->read(buffer, stop, deadline);
    }
    void close() override { inner_->close(); }
    std::string description() const override { return inner_->description(); }

private:
    std::unique_ptr<ByteTransport> inner_;
};

TEST(AntLibraryThreads, ConcurrentSendersNeverInterleaveInsideAMessageOrBurst) {
    RealClock clock;
    InProcessLine line(clock);
    FakeStick stick(clock, line);
    AntSerialLibrary lib(
        clock, [&](UCHAR, ULONG) { return std::make_unique<ByteByByte>(line.programEnd()); });
    ASSERT_EQ(lib.ANT_Init(0, 57600, 0, 0), TRUE);
    ASSERT_TRUE(clock.waitFor(2s, [&] { return stick.frameCount() >= 1; }) == WaitResult::Ready);
    stick.clear();

    constexpr int kPages = 150;
    constexpr int kBursts = 6;
    constexpr int kBurstPackets = 65;
    auto sender = [&](UCHAR marker) {
        Bytes page(8, marker);
        Bytes burst(kBurstPackets * 8, marker);
        for (int i = 0; i < kPages; ++i) {
            lib.ANT_SendAcknowledgedData(0, page.data());
            if (i % (kPages / kBursts) == 0) {
                lib.ANT_SendBurstTransfer(0, burst.data(), kBurstPackets);
            }
        }
    };
    std::thread a(sender, 0xAA);
    std::thread b(sender, 0xBB);
    a.join();
    b.join();

    const std::size_t expected = 2 * (kPages + kBursts * kBurstPackets);
    ASSERT_EQ(clock.waitFor(10s, [&] { return stick.frameCount() >= expected; }),
              WaitResult::Ready);
    const auto frames = stick.frames();
    EXPECT_EQ(frames.size(), expected);
    const auto s = stick.decoderStats();
    EXPECT_EQ(s.badChecksums, 0u);
    EXPECT_EQ(s.badLengths, 0u);
    EXPECT_EQ(s.skippedBytes, 0u);

    // Each message holds one sender's bytes only; a burst's packets follow
    // each other with nothing between them.
    int inBurst = 0;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        SCOPED_TRACE(::testing::Message() << "frame " << i);
        const auto& p = frames[i].payload;
        ASSERT_EQ(p.size(), 9u);
        EXPECT_TRUE(std::all_of(p.begin() + 1, p.end(), [&](auto x) { return x == p[1]; }));
        if (inBurst > 0) {
            ASSERT_EQ(frames[i].id, MESG_BURST_DATA_ID);
            EXPECT_EQ(p[1], frames[i - 1].payload[1]);
            EXPECT_EQ(p[0], burstChannelByte(0, static_cast<std::size_t>(kBurstPackets - inBurst),
                                             kBurstPackets));
            --inBurst;
        } else if (frames[i].id == MESG_BURST_DATA_ID) {
            EXPECT_EQ(p[0], 0x00);  // a burst starts with its first packet
            inBurst = kBurstPackets - 1;
        }
    }
    EXPECT_EQ(inBurst, 0);
    EXPECT_EQ(lib.stats().messagesOut, 1 + expected);
}

// The guarantee that matters when the UI thread removes a callback while the
// reader is inside it: removal waits for that call to end, and no call follows.
TEST(AntLibraryThreads, RemovalWaitsForACallbackThatIsRunning) {
    RealClock clock;
    InProcessLine line(clock);
    FakeStick stick(clock, line);
    AntSerialLibrary lib(clock, [&](UCHAR, ULONG) { return line.programEnd(); });
    ASSERT_EQ(lib.ANT_Init(0, 57600, 0, 0), TRUE);

    std::atomic<bool> inside{false};
    std::atomic<int> calls{0};
    RxBuffer rx{};
    lib.ANT_AssignChannelEventFunction(
        0,
        [&](UCHAR, UCHAR) {
            inside = true;
            clock.notify();
            std::this_thread::sleep_for(20ms);
            ++calls;
            inside = false;
            return true;
        },
        rx.data());
    stick.send(0x40, {0x00, 0x01, 0x03});
    ASSERT_EQ(clock.waitFor(2s, [&] { return inside.load(); }), WaitResult::Ready);
    lib.ANT_AssignChannelEventFunction(0, nullptr, rx.data());
    EXPECT_FALSE(inside);
    EXPECT_EQ(calls, 1);

    const auto framesBefore = lib.stats().framesIn;
    stick.send(0x40, {0x00, 0x01, 0x03});
    ASSERT_EQ(clock.waitFor(2s, [&] { return lib.stats().framesIn > framesBefore; }),
              WaitResult::Ready);
    EXPECT_EQ(calls, 1);
}

}  // namespace
