// The simulated stick as the ANT library sees it: responses, channel search
// and tracking, timing of pages and transfers, burst numbering, hostile input.

#include <gtest/gtest.h>

#include <random>

#include "tests/sim/SimHarness.h"

using namespace fota;
using namespace fota::sim;
using namespace fota::sim::testing;
namespace a = fota::ant;

namespace {

TEST(SimulatedStick, AnswersTheProgramsConfigurationSequence) {
    Host host;
    host.send(a::MESG_SYSTEM_RESET_ID, {0});
    const auto startup =
        host.waitFor([](const a::Frame& f) { return f.id == a::MESG_STARTUP_MESG_ID; }, 1s);
    ASSERT_TRUE(startup);
    EXPECT_EQ(startup->frame.payload, Bytes{0x20});  // reset by command
    EXPECT_EQ(startup->time, 3ms);

    const Bytes key(9, 0);
    const std::vector<std::pair<std::uint8_t, Bytes>> commands = {
        {a::MESG_NETWORK_KEY_ID, key},
        {a::MESG_ASSIGN_CHANNEL_ID, {0, 0, 0}},
        {a::MESG_CHANNEL_ID_ID, {0, 0xD2, 0x04, 19, 1}},
        {a::MESG_CHANNEL_MESG_PERIOD_ID, {0, 0x46, 0x7C}},
        {a::MESG_CHANNEL_SEARCH_TIMEOUT_ID, {0, 15}},
        {a::MESG_CHANNEL_RADIO_FREQ_ID, {0, 71}},
        {a::MESG_OPEN_CHANNEL_ID, {0}},
    };
    for (const auto& [id, payload] : commands) {
        SCOPED_TRACE(::testing::Message() << "message 0x" << std::hex << int{id});
        host.send(id, payload);
        const auto frames = host.runFor(1ms);
        ASSERT_EQ(frames.size(), 1u);
        EXPECT_TRUE(isResponse(frames[0].frame, id, a::RESPONSE_NO_ERROR));
    }
    const StickReport stick = host.sim.stick();
    EXPECT_EQ(stick.channels[0].state, ChannelState::Searching);
    EXPECT_EQ(stick.channels[0].period, 31814);
}

TEST(SimulatedStick, RefusesCommandsTheChannelStateDoesNotAllow) {
    struct Case {
        const char* what;
        std::vector<std::pair<std::uint8_t, Bytes>> before;
        std::uint8_t id;
        Bytes payload;
        Bytes response;  // channel, message id, code
    } cases[] = {
        {"open an unassigned channel", {}, a::MESG_OPEN_CHANNEL_ID, {0}, {0, 0x4B, 0x15}},
        {"channel id of an unassigned channel",
         {},
         a::MESG_CHANNEL_ID_ID,
         {0, 1, 0, 19, 1},
         {0, 0x51, 0x15}},
        {"assign an assigned channel",
         {{0x42, {0, 0, 0}}},
         a::MESG_ASSIGN_CHANNEL_ID,
         {0, 0, 0},
         {0, 0x42, 0x15}},
        {"close a channel that is not open",
         {{0x42, {0, 0, 0}}},
         a::MESG_CLOSE_CHANNEL_ID,
         {0},
         {0, 0x4C, 0x16}},
        {"unassign an open channel",
         {{0x42, {0, 0, 0}}, {0x4B, {0}}},
         a::MESG_UNASSIGN_CHANNEL_ID,
         {0},
         {0, 0x41, 0x15}},
        {"open an open channel",
         {{0x42, {0, 0, 0}}, {0x4B, {0}}},
         a::MESG_OPEN_CHANNEL_ID,
         {0},
         {0, 0x4B, 0x15}},
        {"data on a closed channel",
         {{0x42, {0, 0, 0}}},
         a::MESG_ACKNOWLEDGED_DATA_ID,
         {0, 0x11, 0, 0, 0, 0, 0, 0, 0x11},
         {0, 0x4F, 0x16}},
        {"second acknowledged send while one waits",
         {{0x42, {0, 0, 0}}, {0x4B, {0}}, {0x4F, Bytes(9)}},
         a::MESG_ACKNOWLEDGED_DATA_ID,
         Bytes(9),
         {0, 0x4F, 0x1F}},
        {"burst while an acknowledged send waits",
         {{0x42, {0, 0, 0}}, {0x4B, {0}}, {0x4F, Bytes(9)}},
         a::MESG_BURST_DATA_ID,
         {0x80, 0x12, 0, 0, 0, 0, 0, 0, 0x12},
         {0, 0x50, 0x1F}},
        {"second burst while one waits",
         {{0x42, {0, 0, 0}}, {0x4B, {0}}, {0x50, {0x80, 0x12, 0, 0, 0, 0, 0, 0, 0x12}}},
         a::MESG_BURST_DATA_ID,
         {0x80, 0x12, 0, 0, 0, 0, 0, 0, 0x12},
         {0, 0x50, 0x1F}},
        {"network number out of range",
         {},
         a::MESG_NETWORK_KEY_ID,
         {9, 0, 0, 0, 0, 0, 0, 0, 0},
         {9, 0x46, 0x29}},
        {"channel number out of range", {}, a::MESG_ASSIGN_CHANNEL_ID, {9, 0, 0}, {9, 0x42, 0x28}},
        {"message too short", {}, a::MESG_ASSIGN_CHANNEL_ID, {0}, {0, 0x42, 0x28}},
        {"RF frequency out of range",
         {{0x42, {0, 0, 0}}},
         a::MESG_CHANNEL_RADIO_FREQ_ID,
         {0, 200},
         {0, 0x45, 0x33}},
        {"unknown message", {}, 0x99, {0, 1}, {0, 0x99, 0x28}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Host host;
        host.send(a::MESG_SYSTEM_RESET_ID, {0});
        host.runFor(10ms);
        for (const auto& [id, payload] : c.before) {
            host.send(id, payload);
        }
        host.runFor(1ms);
        host.send(c.id, c.payload);
        const auto frames = host.runFor(1ms);
        ASSERT_EQ(frames.size(), 1u);
        EXPECT_EQ(frames[0].frame.id, a::MESG_RESPONSE_EVENT_ID);
        EXPECT_EQ(frames[0].frame.payload, c.response);
    }
}

TEST(SimulatedStick, BroadcastsArriveOncePerChannelPeriod) {
    Host host;
    ASSERT_TRUE(host.openChannel());
    const auto frames = host.runFor(10s);
    std::vector<Duration> times;
    for (const auto& r : frames) {
        ASSERT_TRUE(isPage(r.frame, a::MESG_BROADCAST_DATA_ID)) << "no events while tracking";
        const std::uint8_t first = r.frame.payload[1];
        EXPECT_TRUE(first != 0x02 && first != 0x11 && first != 0x13 && first != 0xFF);
        times.push_back(r.time);
    }
    ASSERT_GE(times.size(), 10u);
    EXPECT_LT(times[0] - host.openedAt, P()) << "found at the trainer's first page";
    for (std::size_t i = 1; i < times.size(); ++i) {
        EXPECT_EQ(times[i] - times[i - 1], P());
    }
    EXPECT_EQ(P(), Duration(970886230));  // 31814 / 32768 s
}

TEST(SimulatedStick, ChannelThatDoesNotMatchTheTrainerTimesOutItsSearch) {
    struct Case {
        const char* what;
        void (*change)(ChannelSetup&);
        bool found;
    } cases[] = {
        {"matching device number", [](ChannelSetup&) {}, true},
        {"wildcard device number 0", [](ChannelSetup& s) { s.deviceNumber = 0; }, true},
        {"other device number", [](ChannelSetup& s) { s.deviceNumber = 4321; }, false},
        {"other device type", [](ChannelSetup& s) { s.deviceType = 17; }, false},
        {"other transmission type", [](ChannelSetup& s) { s.transmissionType = 5; }, false},
        {"other RF frequency", [](ChannelSetup& s) { s.rf = 57; }, false},
        {"other period", [](ChannelSetup& s) { s.period = 8077; }, false},
        {"other network key", [](ChannelSetup& s) { s.key[3] = 1; }, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Host host;
        ChannelSetup setup;
        c.change(setup);
        ASSERT_TRUE(host.openChannel(setup));
        const auto frames = host.runFor(40s);
        const auto pages = std::count_if(frames.begin(), frames.end(), [](const Received& r) {
            return isPage(r.frame, a::MESG_BROADCAST_DATA_ID);
        });
        if (c.found) {
            EXPECT_GE(pages, 40);
            continue;
        }
        EXPECT_EQ(pages, 0);
        ASSERT_EQ(frames.size(), 2u);
        EXPECT_TRUE(isEvent(frames[0].frame, a::EVENT_RX_SEARCH_TIMEOUT));
        EXPECT_EQ(frames[0].time - host.openedAt, 15 * 2500ms);
        EXPECT_TRUE(isEvent(frames[1].frame, a::EVENT_CHANNEL_CLOSED));
        EXPECT_EQ(host.sim.stick().channels[0].state, ChannelState::Assigned);
    }
}

TEST(SimulatedStick, AcknowledgedSendGoesOutInTheNextSlotAndTheReplyOnePeriodLater) {
    SimConfig config;
    config.trainer.version = 90;
    config.trainer.subVersion = 86;
    config.trainer.unitType = 14;
    Host host(config);
    ASSERT_TRUE(host.openAndSync());
    const Duration lastSlot = host.seen.back().time;
    host.runFor(200ms);

    const auto x = host.request(versionRequest());
    ASSERT_TRUE(x.result);
    EXPECT_TRUE(isEvent(x.result->frame, a::EVENT_TRANSFER_TX_COMPLETED));
    EXPECT_EQ(x.result->time, lastSlot + P() + 2ms);
    ASSERT_TRUE(x.reply);
    EXPECT_EQ(pageOf(x.reply->frame), (Page{0x11, 90, 86, 14, 0, 0, 0, 0}));
    EXPECT_EQ(x.reply->time, lastSlot + 2 * P());
}

TEST(SimulatedStick, BurstNeedsTheSequenceZeroOneTwoThreeWithTheLastBit) {
    // Every packet from the wrong one up to the next first packet is refused.
    struct Case {
        const char* what;
        Bytes channelBytes;
        long sequenceErrors;
        bool accepted;
    } cases[] = {
        {"six packets 0 1 2 3 1 2+last", {0x00, 0x20, 0x40, 0x60, 0x20, 0xC0}, 0, true},
        {"one packet 0+last", {0x80}, 0, true},
        {"first packet not 0", {0x20, 0x40, 0xE0}, 3, false},
        {"a number skipped", {0x00, 0x40, 0x60, 0xA0}, 3, false},
        {"4 does not follow 3", {0x00, 0x20, 0x40, 0x60, 0x60, 0xA0}, 2, false},
        {"stray packet after the last", {0x00, 0xA0, 0x40}, 1, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Host host;
        ASSERT_TRUE(host.openAndSync());
        std::vector<Page> packets(c.channelBytes.size(), Page{0x12, 0, 0, 0x10, 0, 0, 0, 0x12});
        host.sendBurst(packets, c.channelBytes);
        const auto frames = host.runFor(2 * P());
        const bool completed = std::any_of(frames.begin(), frames.end(), [](const Received& r) {
            return isEvent(r.frame, a::EVENT_TRANSFER_TX_COMPLETED);
        });
        const long sequenceErrors =
            std::count_if(frames.begin(), frames.end(), [](const Received& r) {
                return isResponse(r.frame, a::MESG_BURST_DATA_ID,
                                  a::TRANSFER_SEQUENCE_NUMBER_ERROR);
            });
        EXPECT_EQ(completed, c.accepted);
        EXPECT_EQ(sequenceErrors, c.sequenceErrors);
        EXPECT_EQ(host.sim.trainer().counters.burstsReceived, c.accepted ? 1u : 0u);

        // A well-numbered burst afterwards goes through.
        const auto again = host.burst(packetGroup(0x1000, Bytes(8, 1)));
        ASSERT_TRUE(again);
        EXPECT_TRUE(isEvent(again->frame, a::EVENT_TRANSFER_TX_COMPLETED));
    }
}

TEST(SimulatedStick, BurstStartsInTheNextSlotAndTakesThreeMillisecondsAPacket) {
    Host host;
    ASSERT_TRUE(host.openAndSync());
    const Duration lastSlot = host.seen.back().time;
    const auto group = packetGroup(0x1000, Bytes(512, 0x5A));
    ASSERT_EQ(group.size(), 65u);
    host.sendBurst(group);
    const auto start =
        host.waitFor([](const a::Frame& f) { return isEvent(f, a::EVENT_TRANSFER_TX_START); }, 2s);
    const auto done = host.waitFor(
        [](const a::Frame& f) { return isEvent(f, a::EVENT_TRANSFER_TX_COMPLETED); }, 2s);
    ASSERT_TRUE(start && done);
    EXPECT_EQ(start->time, lastSlot + P());
    EXPECT_EQ(done->time - start->time, 65 * 3ms);
}

TEST(SimulatedStick, MissedMessagesGiveRxFailThenSearchThenSearchTimeout) {
    SimConfig config;
    config.faults.disappear = When::atTime(5s);
    Host host(config);
    ASSERT_TRUE(host.openAndSync());
    const auto frames = host.runFor(60s);
    std::vector<std::uint8_t> events;
    Duration lastPage{}, dropTime{}, timeoutTime{};
    for (const auto& r : frames) {
        if (isPage(r.frame, a::MESG_BROADCAST_DATA_ID)) {
            lastPage = r.time;
        } else if (isAnyEvent(r.frame)) {
            events.push_back(r.frame.payload[2]);
            if (r.frame.payload[2] == a::EVENT_RX_FAIL_GO_TO_SEARCH) {
                dropTime = r.time;
            }
            if (r.frame.payload[2] == a::EVENT_RX_SEARCH_TIMEOUT) {
                timeoutTime = r.time;
            }
        }
    }
    // Below 2 Hz the fourth missed message drops the channel to search.
    const std::vector<std::uint8_t> expected = {
        a::EVENT_RX_FAIL,           a::EVENT_RX_FAIL,
        a::EVENT_RX_FAIL,           a::EVENT_RX_FAIL_GO_TO_SEARCH,
        a::EVENT_RX_SEARCH_TIMEOUT, a::EVENT_CHANNEL_CLOSED};
    EXPECT_EQ(events, expected);
    EXPECT_LT(lastPage, 5s);
    EXPECT_EQ(dropTime - lastPage, 4 * P());
    EXPECT_EQ(timeoutTime - dropTime, 15 * 2500ms);
}

TEST(SimulatedStick, PendingSendFailsWhenTheChannelCloses) {
    SimConfig config;
    config.trainer.deviceNumber = 99;  // never found
    Host host(config);
    ASSERT_TRUE(host.openChannel());
    host.sendAcked(versionRequest());
    const auto frames = host.runFor(40s);
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_TRUE(isEvent(frames[0].frame, a::EVENT_TRANSFER_TX_FAILED));
    EXPECT_TRUE(isEvent(frames[1].frame, a::EVENT_RX_SEARCH_TIMEOUT));
    EXPECT_TRUE(isEvent(frames[2].frame, a::EVENT_CHANNEL_CLOSED));
}

TEST(SimulatedStick, MasterChannelReportsEventTxEachPeriod) {
    Host host;
    ChannelSetup setup;
    setup.type = a::CHANNEL_TYPE_MASTER;
    setup.period = 8192;
    ASSERT_TRUE(host.openChannel(setup));
    const auto frames = host.runFor(1s + 1ms);
    ASSERT_EQ(frames.size(), 4u);
    for (const auto& r : frames) {
        EXPECT_TRUE(isEvent(r.frame, a::EVENT_TX));
    }
}

TEST(SimulatedStick, AnswersCapabilitiesAndChannelStatusRequests) {
    Host host;
    ASSERT_TRUE(host.openAndSync());
    host.send(a::MESG_REQUEST_ID, {0, 0x54});
    host.send(a::MESG_REQUEST_ID, {0, 0x52});
    const auto frames = host.runFor(1ms);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].frame.id, 0x54);
    EXPECT_EQ(frames[0].frame.payload[0], 8);                 // channels
    EXPECT_EQ(frames[1].frame, (a::Frame{0x52, {0, 0x03}}));  // tracking, slave, network 0
}

// Whatever the program sends, the stick neither crashes nor reads out of
// bounds (run under the sanitizers), and it still answers a reset afterwards.
TEST(SimulatedStick, SurvivesArbitraryBytesFromTheProgram) {
    SimConfig config;
    SimulatedStick stick(config);
    std::mt19937 rng(1234);
    Duration t{};
    const std::uint8_t ids[] = {0x4A, 0x46, 0x42, 0x41, 0x51, 0x43, 0x44, 0x45,
                                0x4B, 0x4C, 0x4D, 0x4E, 0x4F, 0x50, 0x99};
    for (int i = 0; i < 20000; ++i) {
        Bytes chunk;
        if (rng() % 3 == 0) {
            chunk.resize(rng() % 40);
            for (auto& b : chunk) {
                b = static_cast<std::uint8_t>(rng());
            }
        } else {
            Bytes payload(rng() % 12);
            for (auto& b : payload) {
                b = static_cast<std::uint8_t>(rng() % 4 == 0 ? rng() : rng() % 3);
            }
            chunk = a::encodeFrame(ids[rng() % std::size(ids)], payload);
        }
        t += Duration(rng() % 50'000'000);
        stick.onHostBytes(chunk, t);
        stick.advanceTo(t + Duration(rng() % 10'000'000));
        stick.takeOutput();
    }
    t += 1s;
    stick.advanceTo(t);
    stick.takeOutput();
    const Bytes reset = a::encodeFrame(a::MESG_SYSTEM_RESET_ID, Bytes{0});
    stick.onHostBytes(reset, t);
    stick.advanceTo(t + 10ms);
    a::FrameDecoder decoder;
    std::vector<a::Frame> frames;
    decoder.feed(stick.takeOutput(), [&](const a::Frame& f) { frames.push_back(f); });
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames.back(), (a::Frame{a::MESG_STARTUP_MESG_ID, {0x20}}));
}

// A stick stays plugged in while the program closes and reopens its port.
TEST(SimulatedStick, OutlivesTheProgramClosingItsEnd) {
    Host host;
    ASSERT_TRUE(host.openAndSync());
    host.program.reset();  // ANT_Close
    host.clock.sleepFor(10s);
    host.program = host.line.programEnd();
    const Duration reopened = host.clock.now();
    host.send(a::MESG_SYSTEM_RESET_ID, {0});
    const auto startup =
        host.waitFor([](const a::Frame& f) { return f.id == a::MESG_STARTUP_MESG_ID; }, 1s);
    ASSERT_TRUE(startup);
    EXPECT_LE(startup->time - reopened, 3ms + 2ms);
    EXPECT_TRUE(host.openAndSync());
    EXPECT_TRUE(host.sim.running());
}

TEST(SimulatedStick, BadChecksumFromTheProgramGetsASerialError) {
    Host host;
    Bytes frame = a::encodeFrame(a::MESG_SYSTEM_RESET_ID, Bytes{0});
    frame.back() ^= 0x55;
    host.sendRaw(frame);
    const auto frames = host.runFor(10ms);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].frame, (a::Frame{a::MESG_SERIAL_ERROR_ID, {0x02}}));
}

// Random faults draw from the seed alone: the same seed gives the same bytes.
TEST(SimulatedStick, SameSeedGivesTheSameByteStream) {
    auto run = [](std::uint32_t seed) {
        SimConfig config;
        config.seed = seed;
        config.faults.dropFromTrainer[PageKind::Any] = Pick::share(0.3);
        config.faults.dropToTrainer[PageKind::Any] = Pick::share(0.2);
        config.faults.failAckedSends = Pick::share(0.2);
        config.faults.lineGarbage = 0.2;
        config.faults.lineCorrupt = 0.1;
        Host host(config);
        host.send(a::MESG_SYSTEM_RESET_ID, {0});
        host.runFor(10ms);
        host.send(a::MESG_NETWORK_KEY_ID, Bytes(9, 0));
        host.send(a::MESG_ASSIGN_CHANNEL_ID, {0, 0, 0});
        host.send(a::MESG_CHANNEL_ID_ID, {0, 0xD2, 0x04, 19, 1});
        host.send(a::MESG_CHANNEL_MESG_PERIOD_ID, {0, 0x46, 0x7C});
        host.send(a::MESG_CHANNEL_SEARCH_TIMEOUT_ID, {0, 15});
        host.send(a::MESG_CHANNEL_RADIO_FREQ_ID, {0, 71});
        host.send(a::MESG_OPEN_CHANNEL_ID, {0});
        for (int i = 0; i < 12; ++i) {
            host.runFor(3s);
            host.sendAcked(versionRequest());
        }
        host.runFor(5s);
        return host.raw();
    };
    const Bytes first = run(7);
    EXPECT_GT(first.size(), 500u);
    EXPECT_EQ(run(7), first);
    EXPECT_NE(run(8), first);
}

}  // namespace
