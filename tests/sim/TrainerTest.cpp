// The simulated trainer through the stick: its replies, how it checks and
// keeps packet groups, and what it runs after program mode exit.

#include <gtest/gtest.h>

#include "tests/sim/SimHarness.h"

using namespace fota;
using namespace fota::sim;
using namespace fota::sim::testing;
namespace a = fota::ant;

namespace {

using Outcome = ProgrammingSession::Outcome;

bool completed(const std::optional<Received>& r) {
    return r && isEvent(r->frame, a::EVENT_TRANSFER_TX_COMPLETED);
}

TEST(SimTrainer, AnswersRequestsWithTheConfiguredFacts) {
    struct Case {
        const char* what;
        void (*configure)(TrainerConfig&);
        Page request;
        std::optional<Page> reply;
        std::uint8_t zeroAfter;
    } cases[] = {
        {"version", [](TrainerConfig&) {}, versionRequest(), Page{0x11, 90, 86, 14, 0, 0, 0, 0},
         10},
        {"version from its bootloader",
         [](TrainerConfig& t) {
             t.model = Model::PU;
             t.runsBootloader = true;
             t.bootloaderSubVersion = 85;
         },
         versionRequest(), Page{0x11, 1, 85, 11, 0, 0, 0, 0}, 10},
        {"unit type", [](TrainerConfig&) {}, unitTypeRequest(), Page{0x02, 14, 0, 0, 0, 0, 0, 0},
         10},
        {"zero position", [](TrainerConfig&) {}, zeroPositionRead(),
         Page{0x02, 10, 0, 0, 0, 0, 0, 0}, 10},
        {"zero position write", [](TrainerConfig&) {}, zeroPositionWrite(20),
         Page{0xFF, 0x03, 0, 0, 0, 0, 0, 0}, 20},
        {"unknown item read", [](TrainerConfig&) {}, Page{0x02, 0x55, 0, 1, 0, 0, 0, 0},
         std::nullopt, 10},
        {"unknown command", [](TrainerConfig&) {}, Page{0x05, 0, 0, 0, 0, 0, 0, 0}, std::nullopt,
         10},
        {"block ack request outside programming mode", [](TrainerConfig&) {},
         blockAckRequest(0x1000), std::nullopt, 10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SimConfig config;
        config.trainer.subVersion = 86;
        c.configure(config.trainer);
        Host host(config);
        ASSERT_TRUE(host.openAndSync());
        const auto x = host.request(c.request);
        EXPECT_TRUE(completed(x.result));
        ASSERT_EQ(x.reply.has_value(), c.reply.has_value());
        if (c.reply) {
            EXPECT_EQ(pageOf(x.reply->frame), *c.reply);
            EXPECT_EQ(x.reply->time - x.result->time, P() - 2ms) << "in the trainer's next slot";
        }
        const TrainerReport t = host.sim.trainer();
        EXPECT_EQ(t.zeroPosition, c.zeroAfter);
        EXPECT_EQ(t.counters.requests, 1u);
        EXPECT_EQ(t.counters.pagesAnswered, c.reply ? 1u : 0u);
    }
}

TEST(SimTrainer, KeepsAPacketGroupOnlyWhenSizeCountAndCrcAgree) {
    const Bytes data = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20};
    struct Case {
        const char* what;
        std::vector<Page> group;
        bool programming;
        bool kept;
    } cases[] = {
        {"valid group of 20 bytes", packetGroup(0x1200, data), true, true},
        {"empty block", packetGroup(0x1200, {}), true, true},
        {"crc does not match", packetGroup(0x1200, data), true, false},
        {"one data packet too many", packetGroup(0x1200, data), true, false},
        {"one data packet missing", packetGroup(0x1200, data), true, false},
        {"no start mark", packetGroup(0x1200, data), true, false},
        {"block larger than 512 bytes", packetGroup(0x1200, Bytes(600, 9)), true, false},
        {"valid group outside programming mode", packetGroup(0x1200, data), false, false},
    };
    cases[2].group[0][6] ^= 0x01;
    cases[3].group.push_back(Page{});
    cases[4].group.pop_back();
    cases[5].group[0][0] = 0x13;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Host host;
        ASSERT_TRUE(host.openAndSync());
        if (c.programming) {
            EXPECT_TRUE(completed(host.request(programStart(20)).result));
        }
        EXPECT_TRUE(completed(host.burst(c.group))) << "the radio delivers it either way";
        const auto ack = host.request(blockAckRequest(0x1200));
        EXPECT_TRUE(completed(ack.result));
        ASSERT_EQ(ack.reply.has_value(), c.kept);
        if (c.kept) {
            EXPECT_EQ(pageOf(ack.reply->frame), (Page{0x13, 0x00, 0x12, 0x00, 0, 0, 0, 0}));
        }
        const TrainerReport t = host.sim.trainer();
        EXPECT_EQ(t.counters.burstsReceived, 1u);
        EXPECT_EQ(t.counters.blocksAccepted, c.kept ? 1u : 0u);
        EXPECT_EQ(t.counters.blocksRejected, c.programming && !c.kept ? 1u : 0u);
    }
}

TEST(SimTrainer, ResentBlockReplacesTheEarlierOne) {
    Host host;
    ASSERT_TRUE(host.openAndSync());
    ASSERT_TRUE(completed(host.request(programStart(16)).result));
    ASSERT_TRUE(completed(host.burst(packetGroup(0x1000, Bytes(16, 0xAA)))));
    ASSERT_TRUE(completed(host.burst(packetGroup(0x1000, Bytes(16, 0xBB)))));
    const TrainerReport t = host.sim.trainer();
    EXPECT_TRUE(t.holdsExactly({{0x1000, Bytes(16, 0xBB)}}));
    EXPECT_EQ(t.counters.blocksAccepted, 2u);
}

// Program mode start, the blocks with their acknowledgements, exit, restart.
struct Upload {
    unsigned bursts = 0;
    unsigned blockAcks = 0;
    Duration exitSlot{};
};
Upload upload(Host& host, const BlockList& blocks, std::uint32_t announced) {
    Upload u;
    EXPECT_TRUE(completed(host.request(programStart(announced)).result));
    for (const auto& [address, bytes] : blocks) {
        u.bursts += completed(host.burst(packetGroup(address, bytes))) ? 1 : 0;
        const auto ack = host.request(blockAckRequest(address));
        if (ack.reply &&
            pageOf(ack.reply->frame) == Page{0x13, 0, static_cast<std::uint8_t>(address >> 8),
                                             static_cast<std::uint8_t>(address), 0, 0, 0, 0}) {
            ++u.blockAcks;
        }
    }
    const auto exit = host.request(programExit());
    EXPECT_TRUE(completed(exit.result));
    EXPECT_FALSE(exit.reply);
    if (exit.result) {
        u.exitSlot = exit.result->time - 2ms;
    }
    return u;
}

TEST(SimTrainer, RestartsIntoTheImageItReceivedOrStaysInItsBootloader) {
    struct Case {
        const char* what;
        Bytes image;
        std::size_t skipBlock;  // a block not sent (npos: none)
        Page version;           // its version reply after the restart
        Outcome outcome;
    } cases[] = {
        {"firmware image",
         demoImage(firmwareHeader(), 100),
         std::string::npos,
         {0x11, 118, 86, 17, 0, 0, 0, 0},
         Outcome::RanFirmware},
        {"bootloader image",
         demoImage(bootloaderHeader(), 100),
         std::string::npos,
         {0x11, 1, 85, 9, 0, 0, 0, 0},
         Outcome::RanBootloader},
        {"a block missing",
         demoImage(firmwareHeader(), 100),
         1,
         {0x11, 1, 86, 9, 0, 0, 0, 0},
         Outcome::StayedInBootloader},
        {"payload changed after the header was made",
         demoImage(firmwareHeader(), 100),
         std::string::npos,
         {0x11, 1, 86, 9, 0, 0, 0, 0},
         Outcome::StayedInBootloader},
        {"no image header",
         Bytes(148, 0x42),
         std::string::npos,
         {0x11, 1, 86, 9, 0, 0, 0, 0},
         Outcome::StayedInBootloader},
    };
    cases[3].image[100] ^= 0xFF;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Host host;  // a KOV trainer with firmware 90, restarting in 4 s
        ASSERT_TRUE(host.openAndSync());
        BlockList blocks = blocksOf(c.image);
        ASSERT_EQ(blocks.size(), 3u);
        if (c.skipBlock != std::string::npos) {
            blocks.erase(blocks.begin() + static_cast<long>(c.skipBlock));
        }
        const Upload u = upload(host, blocks, static_cast<std::uint32_t>(c.image.size()));
        EXPECT_EQ(u.bursts, blocks.size());
        EXPECT_EQ(u.blockAcks, blocks.size());

        // Silent while it restarts: the channel misses its pages.
        const auto back = host.waitFor(
            [](const a::Frame& f) { return isPage(f, a::MESG_BROADCAST_DATA_ID); }, 60s);
        ASSERT_TRUE(back);
        EXPECT_EQ(back->time - u.exitSlot, 4s);
        const auto missed =
            std::count_if(host.seen.begin(), host.seen.end(),
                          [](const Received& r) { return isEvent(r.frame, a::EVENT_RX_FAIL); });
        EXPECT_EQ(missed, 3);

        const auto x = host.request(versionRequest());
        ASSERT_TRUE(x.reply);
        EXPECT_EQ(pageOf(x.reply->frame), c.version);

        const TrainerReport t = host.sim.trainer();
        EXPECT_TRUE(t.holdsExactly(blocks));
        ASSERT_NE(t.lastSession(), nullptr);
        EXPECT_EQ(t.lastSession()->outcome, c.outcome) << t.lastSession()->verdict;
        EXPECT_EQ(t.counters.restarts, 1u);
        EXPECT_EQ(t.running.has_value(), c.outcome != Outcome::StayedInBootloader);
        if (c.skipBlock == std::string::npos) {
            EXPECT_EQ(t.lastSession()->assembled(), c.image);
        }
    }
}

TEST(SimTrainer, SecondPassProgramsFirmwareAfterTheBootloader) {
    Host host;
    ASSERT_TRUE(host.openAndSync());
    const Bytes boot = demoImage(bootloaderHeader(), 100);
    const Bytes firmware = demoImage(firmwareHeader(), 150);
    upload(host, blocksOf(boot), static_cast<std::uint32_t>(boot.size()));
    ASSERT_TRUE(
        host.waitFor([](const a::Frame& f) { return isPage(f, a::MESG_BROADCAST_DATA_ID); }, 60s));
    upload(host, blocksOf(firmware), static_cast<std::uint32_t>(firmware.size()));
    ASSERT_TRUE(
        host.waitFor([](const a::Frame& f) { return isPage(f, a::MESG_BROADCAST_DATA_ID); }, 60s));
    const TrainerReport t = host.sim.trainer();
    ASSERT_EQ(t.sessions.size(), 2u);
    EXPECT_EQ(t.sessions[0].assembled(), boot);
    EXPECT_EQ(t.sessions[1].assembled(), firmware);
    EXPECT_EQ(t.sessions[1].outcome, Outcome::RanFirmware);
    EXPECT_EQ(t.version, 118);
    EXPECT_EQ(t.counters.restarts, 2u);
}

}  // namespace
