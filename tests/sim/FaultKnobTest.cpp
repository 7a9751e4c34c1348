// Each fault knob of the simulator, switched on alone, does what its name says.

#include <gtest/gtest.h>

#include <cctype>

#include "tests/sim/SimHarness.h"

using namespace fota;
using namespace fota::sim;
using namespace fota::sim::testing;
namespace a = fota::ant;

namespace {

bool completed(const std::optional<Received>& r) {
    return r && isEvent(r->frame, a::EVENT_TRANSFER_TX_COMPLETED);
}
bool failed(const std::optional<Received>& r) {
    return r && isEvent(r->frame, a::EVENT_TRANSFER_TX_FAILED);
}
long countIf(const std::vector<Received>& frames, bool (*match)(const a::Frame&)) {
    return std::count_if(frames.begin(), frames.end(),
                         [&](const Received& r) { return match(r.frame); });
}
bool isBroadcast(const a::Frame& f) {
    return isPage(f, a::MESG_BROADCAST_DATA_ID);
}
bool isSearchTimeout(const a::Frame& f) {
    return isEvent(f, a::EVENT_RX_SEARCH_TIMEOUT);
}

// Uploads an image (program mode start, blocks, exit) and waits for the
// restarted trainer's first page.
void uploadAndRestart(Host& host, const Bytes& image) {
    ASSERT_TRUE(
        completed(host.request(programStart(static_cast<std::uint32_t>(image.size()))).result));
    for (const auto& [address, bytes] : blocksOf(image)) {
        ASSERT_TRUE(completed(host.burst(packetGroup(address, bytes))));
    }
    ASSERT_TRUE(completed(host.request(programExit()).result));
    ASSERT_TRUE(host.waitFor(isBroadcast, 60s));
}

std::optional<Page> versionReply(Host& host) {
    const auto x = host.request(versionRequest());
    if (!x.reply) {
        return std::nullopt;
    }
    return pageOf(x.reply->frame);
}

struct KnobCase {
    const char* name;
    void (*configure)(SimConfig&);
    void (*check)(Host&);
    bool sync = true;  // open the channel and wait for the trainer's first page before check
};

const KnobCase kKnobs[] = {
    {"dropFromTrainer: the first version reply is lost",
     [](SimConfig& c) { c.faults.dropFromTrainer[PageKind::VersionReply] = Pick::at({1}); },
     [](Host& host) {
         const auto first = host.request(versionRequest());
         EXPECT_TRUE(completed(first.result));
         EXPECT_FALSE(first.reply);
         EXPECT_EQ(
             countIf(host.seen, [](const a::Frame& f) { return isEvent(f, a::EVENT_RX_FAIL); }), 1);
         EXPECT_TRUE(host.request(versionRequest()).reply);
     }},
    {"dropFromTrainer: every page lost, the trainer is never found",
     [](SimConfig& c) { c.faults.dropFromTrainer[PageKind::Any] = Pick::all(); },
     [](Host& host) {
         ASSERT_TRUE(host.openChannel());
         const auto frames = host.runFor(40s);
         EXPECT_EQ(countIf(frames, isBroadcast), 0);
         EXPECT_EQ(countIf(frames, isSearchTimeout), 1);
     },
     false},
    {"dropToTrainer: the first version request never arrives",
     [](SimConfig& c) { c.faults.dropToTrainer[PageKind::VersionRequest] = Pick::at({1}); },
     [](Host& host) {
         const auto first = host.request(versionRequest());
         EXPECT_TRUE(failed(first.result));
         EXPECT_FALSE(first.reply);
         EXPECT_EQ(host.sim.trainer().counters.requests, 0u);
         EXPECT_TRUE(host.request(versionRequest()).reply);
     }},
    {"failAckedSends: the trainer hears the request but its acknowledgement is lost",
     [](SimConfig& c) { c.faults.failAckedSends = Pick::at({1}); },
     [](Host& host) {
         const auto first = host.request(versionRequest());
         EXPECT_TRUE(failed(first.result));
         EXPECT_TRUE(first.reply);
         EXPECT_EQ(host.sim.trainer().counters.requests, 1u);
     }},
    {"failBursts: the first burst breaks off, the second goes through",
     [](SimConfig& c) { c.faults.failBursts = Pick::at({1}); },
     [](Host& host) {
         ASSERT_TRUE(completed(host.request(programStart(64)).result));
         const auto group = packetGroup(0x1000, Bytes(64, 3));
         EXPECT_TRUE(failed(host.burst(group)));
         EXPECT_EQ(
             countIf(host.seen,
                     [](const a::Frame& f) { return isEvent(f, a::EVENT_TRANSFER_TX_START); }),
             1);
         EXPECT_EQ(host.sim.trainer().counters.blocksAccepted, 0u);
         EXPECT_TRUE(completed(host.burst(group)));
         const TrainerReport t = host.sim.trainer();
         EXPECT_EQ(t.counters.burstsFailed, 1u);
         EXPECT_TRUE(t.holdsExactly({{0x1000, Bytes(64, 3)}}));
     }},
    {"blockAcks FirstRequestWithheld: the repeated request is answered",
     [](SimConfig& c) { c.faults.blockAcks = Faults::BlockAcks::FirstRequestWithheld; },
     [](Host& host) {
         ASSERT_TRUE(completed(host.request(programStart(8)).result));
         ASSERT_TRUE(completed(host.burst(packetGroup(0x1000, Bytes(8, 1)))));
         EXPECT_FALSE(host.request(blockAckRequest(0x1000)).reply);
         EXPECT_TRUE(host.request(blockAckRequest(0x1000)).reply);
     }},
    {"withholdBlockAckFor {2}: only the second block is never acknowledged",
     [](SimConfig& c) { c.faults.withholdBlockAckFor = {2}; },
     [](Host& host) {
         ASSERT_TRUE(completed(host.request(programStart(24)).result));
         for (std::uint16_t address : {0x1000, 0x1008, 0x1010}) {
             ASSERT_TRUE(completed(host.burst(packetGroup(address, Bytes(8, 1)))));
         }
         EXPECT_TRUE(host.request(blockAckRequest(0x1000)).reply);
         EXPECT_FALSE(host.request(blockAckRequest(0x1008)).reply);
         EXPECT_FALSE(host.request(blockAckRequest(0x1008)).reply);
         EXPECT_TRUE(host.request(blockAckRequest(0x1010)).reply);
     }},
    {"blockAcks Withheld: no block is ever acknowledged",
     [](SimConfig& c) { c.faults.blockAcks = Faults::BlockAcks::Withheld; },
     [](Host& host) {
         ASSERT_TRUE(completed(host.request(programStart(8)).result));
         ASSERT_TRUE(completed(host.burst(packetGroup(0x1000, Bytes(8, 1)))));
         EXPECT_FALSE(host.request(blockAckRequest(0x1000)).reply);
         EXPECT_FALSE(host.request(blockAckRequest(0x1000)).reply);
         EXPECT_EQ(host.sim.trainer().counters.blockAcksWithheld, 2u);
     }},
    {"restartTime longer than the search: the channel closes before it is back",
     [](SimConfig& c) { c.trainer.restartTime = 60s; },
     [](Host& host) {
         ASSERT_TRUE(completed(host.request(programStart(8)).result));
         ASSERT_TRUE(completed(host.request(programExit()).result));
         const auto frames = host.runFor(50s);
         EXPECT_EQ(countIf(frames, isBroadcast), 0);
         EXPECT_EQ(countIf(frames, isSearchTimeout), 1);
         EXPECT_TRUE(host.sim.trainer().restarting);
         host.runFor(15s);
         EXPECT_EQ(host.sim.trainer().counters.restarts, 1u);
     }},
    {"disappear after the second request: no reply, then the search times out",
     [](SimConfig& c) { c.faults.disappear = When::afterRequests(2); },
     [](Host& host) {
         EXPECT_TRUE(host.request(versionRequest()).reply);
         const auto second = host.request(versionRequest());
         EXPECT_TRUE(completed(second.result));
         EXPECT_FALSE(second.reply);
         EXPECT_TRUE(host.waitFor(isSearchTimeout, 60s));
         EXPECT_TRUE(host.sim.trainer().gone);
     }},
    {"disappear after the first block: the block ack request fails with the channel",
     [](SimConfig& c) { c.faults.disappear = When::afterBlocks(1); },
     [](Host& host) {
         ASSERT_TRUE(completed(host.request(programStart(16)).result));
         ASSERT_TRUE(completed(host.burst(packetGroup(0x1000, Bytes(8, 1)))));
         host.sendAcked(blockAckRequest(0x1000));
         const auto frames = host.runFor(60s);
         ASSERT_GE(frames.size(), 3u);
         EXPECT_TRUE(isEvent(frames[frames.size() - 3].frame, a::EVENT_TRANSFER_TX_FAILED));
         EXPECT_TRUE(isSearchTimeout(frames[frames.size() - 2].frame));
         EXPECT_TRUE(isEvent(frames.back().frame, a::EVENT_CHANNEL_CLOSED));
         EXPECT_TRUE(host.sim.trainer().holdsExactly({{0x1000, Bytes(8, 1)}}));
     }},
    {"disappear at program mode exit: it never comes back from the restart",
     [](SimConfig& c) { c.faults.disappear = When::atProgramExit(); },
     [](Host& host) {
         ASSERT_TRUE(completed(host.request(programStart(8)).result));
         ASSERT_TRUE(completed(host.request(programExit()).result));
         const auto frames = host.runFor(60s);
         EXPECT_EQ(countIf(frames, isBroadcast), 0);
         EXPECT_EQ(countIf(frames, isSearchTimeout), 1);
         EXPECT_EQ(host.sim.trainer().counters.restarts, 0u);
     }},
    {"disappear at 20 s: the pages stop",
     [](SimConfig& c) { c.faults.disappear = When::atTime(20s); },
     [](Host& host) {
         const auto frames = host.runFor(70s);
         Duration last{};
         for (const auto& r : frames) {
             if (isBroadcast(r.frame)) {
                 last = r.time;
             }
         }
         EXPECT_GT(last, 19s);
         EXPECT_LT(last, 20s);
         EXPECT_EQ(countIf(frames, isSearchTimeout), 1);
     }},
    {"faultyBootloader: the restarted bootloader reports unit type 255",
     [](SimConfig& c) { c.faults.faultyBootloader = true; },
     [](Host& host) {
         uploadAndRestart(host, demoImage(bootloaderHeader(), 40));
         EXPECT_EQ(versionReply(host), (Page{0x11, 1, 85, 255, 0, 0, 0, 0}));
     }},
    {"noUnitTypeAfterRestart: the version reply after the restart has sub-version 0",
     [](SimConfig& c) { c.faults.noUnitTypeAfterRestart = true; },
     [](Host& host) {
         uploadAndRestart(host, demoImage(firmwareHeader(), 40));
         EXPECT_EQ(versionReply(host), (Page{0x11, 118, 0, 17, 0, 0, 0, 0}));
     }},
    {"zeroWriteUnconfirmed: the write is kept but never confirmed",
     [](SimConfig& c) { c.faults.zeroWriteUnconfirmed = true; },
     [](Host& host) {
         const auto x = host.request(zeroPositionWrite(20));
         EXPECT_TRUE(completed(x.result));
         EXPECT_FALSE(x.reply);
         EXPECT_EQ(host.sim.trainer().zeroPosition, 20);
     }},
    {"lineCorrupt: every message from the stick has a bad checksum",
     [](SimConfig& c) { c.faults.lineCorrupt = 1.0; },
     [](Host& host) {
         host.send(a::MESG_SYSTEM_RESET_ID, {0});
         host.runFor(10ms);
         host.send(a::MESG_ASSIGN_CHANNEL_ID, {0, 0, 0});
         host.send(a::MESG_OPEN_CHANNEL_ID, {0});
         host.send(a::MESG_REQUEST_ID, {0, 0x54});
         EXPECT_EQ(host.runFor(1s).size(), 0u);
         EXPECT_EQ(host.decoderStats().badChecksums, 4u);
     },
     false},
    {"lineGarbage: garbage between messages, every message still arrives",
     [](SimConfig& c) { c.faults.lineGarbage = 1.0; },
     [](Host& host) {
         EXPECT_TRUE(host.request(versionRequest()).reply);
         EXPECT_GT(host.decoderStats().skippedBytes, 10u);
         EXPECT_EQ(host.sim.stick().garbageBursts, host.sim.stick().framesOut);
     }},
    {"stickVanishes at 5 s: the line fails for the program",
     [](SimConfig& c) { c.faults.stickVanishes = When::atTime(5s); },
     [](Host& host) {
         host.runFor(10s);
         EXPECT_TRUE(host.lineFailed());
         EXPECT_LT(host.seen.back().time, 5s);
         EXPECT_FALSE(host.sim.running());
     }},
    {"stickVanishes after the first block",
     [](SimConfig& c) { c.faults.stickVanishes = When::afterBlocks(1); },
     [](Host& host) {
         ASSERT_TRUE(completed(host.request(programStart(8)).result));
         host.sendBurst(packetGroup(0x1000, Bytes(8, 1)));
         host.runFor(5s);
         EXPECT_TRUE(host.lineFailed());
         EXPECT_EQ(host.sim.trainer().counters.blocksAccepted, 1u);
     }},
    {"versionPageEvery 3: every third broadcast is a version page",
     [](SimConfig& c) { c.trainer.versionPageEvery = 3; },
     [](Host& host) {
         const auto frames = host.runFor(10s);
         const auto versions = countIf(frames, [](const a::Frame& f) {
             return isPage(f, a::MESG_BROADCAST_DATA_ID, 0x11) &&
                    pageOf(f) == Page{0x11, 90, 0, 14, 0, 0, 0, 0};
         });
         EXPECT_EQ(countIf(frames, isBroadcast), 10);  // the trainer's pages 2 to 11
         EXPECT_EQ(versions, 3);                       // 3, 6 and 9
     }},
};

void PrintTo(const KnobCase& c, std::ostream* os) {
    *os << c.name;
}

class FaultKnob : public ::testing::TestWithParam<KnobCase> {};

TEST_P(FaultKnob, Acts) {
    const KnobCase& c = GetParam();
    SimConfig config;
    c.configure(config);
    Host host(config);
    if (c.sync) {
        ASSERT_TRUE(host.openAndSync());
    }
    c.check(host);
}

INSTANTIATE_TEST_SUITE_P(SimTrainer, FaultKnob, ::testing::ValuesIn(kKnobs),
                         [](const ::testing::TestParamInfo<KnobCase>& param) {
                             std::string name;
                             for (const char* p = param.param.name; *p != '\0' && *p != ':'; ++p) {
                                 if (std::isalnum(static_cast<unsigned char>(*p))) {
                                     name += *p;
                                 }
                             }
                             return name + "_" + std::to_string(param.index);
                         });

}  // namespace
