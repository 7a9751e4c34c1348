// The worker's transactions and its body against a scripted link, in virtual
// time: the pauses (2000 ms), the poll limits (500 ms, 1000 ms in the zero
// position write) and their counts, the attempts, which test wins when both
// flags are up, the results and the event log lines, each at its moment. A
// flag raised early ends its poll at that moment; one never raised lets the
// poll run to its limit.

#include <gtest/gtest.h>

#include <map>
#include <optional>

#include "tests/engine/ScriptedLink.h"

using namespace fota;
using namespace fota::testing;

namespace {

std::unique_ptr<TFirmware> TwoBlockImage() {
    auto image = std::make_unique<TFirmware>();
    for (const std::string& line : HexRecords({0x1000, 0x2000})) {
        image->addHex(line);
    }
    return image;  // 32 bytes in two blocks of three packets
}

// ---- The transactions, one at a time.

using Body = ScriptedLink::Body;

Body Version() {
    return
        [](TFOTAThread& w) { return std::string(w.RequestFirmwareVersion() ? "true" : "false"); };
}
Body UnitType() {
    return [](TFOTAThread& w) { return std::to_string(w.RequestUnitType()); };
}
Body ZeroPosition() {
    return [](TFOTAThread& w) { return std::to_string(w.SetZeroPosition()); };
}
Body Enter() {
    return [](TFOTAThread& w) {
        TFOTAThreadTest::GiveImage(w, TwoBlockImage());
        return std::string(w.EnterFOTAMode() ? "true" : "false");
    };
}
Body Exit() {
    return [](TFOTAThread& w) { return std::string(w.ExitFOTAMode() ? "true" : "false"); };
}
Body Burst() {
    return [](TFOTAThread& w) {
        auto image = TwoBlockImage();
        image->first();
        TPacketArray packets;
        const auto n = static_cast<std::uint8_t>(image->extractHex(8, packets));
        TFOTAThreadTest::GiveImage(w, std::move(image));
        return std::string(w.SendBurst(n, packets) ? "true" : "false");
    };
}
Body Ack() {
    return [](TFOTAThread& w) { return std::string(w.RequestAck(0x10, 0x00) ? "true" : "false"); };
}

// The reactions to each send by its number; sends not listed get none.
LinkScript PerSend(std::map<int, std::vector<Reaction>> reactions) {
    return [reactions](const std::string&, int n) {
        const auto it = reactions.find(n);
        return it == reactions.end() ? std::vector<Reaction>{} : it->second;
    };
}
// The same reactions to every send.
LinkScript EverySend(std::vector<Reaction> reactions) {
    return [reactions](const std::string&, int) { return reactions; };
}

struct TransactionCase {
    const char* name;
    Body body;
    LinkScript script;
    std::string result;
    double endSeconds;
    std::vector<std::string> trace;
};

void PrintTo(const TransactionCase& c, std::ostream* os) {
    *os << c.name;
}

const auto kVersion95 = VersionReply(95, 1, 14);

const TransactionCase kTransactions[] = {
    // -------------------------------------------------- RequestFirmwareVersion
    {"VersionReplyEndsThePollAtOnce",
     Version(),
     PerSend({{1, {{2120, kVersion95}}}}),
     "true",
     2.120,
     {"  0.000 > version request", "  0.000   Request Firmware Version (send) ",
      "  2.120   Firmware version received 95"}},
    {"VersionReplyDuringThePauseIsTakenAfterIt",
     Version(),
     PerSend({{1, {{1000, kVersion95}}}}),
     "true",
     2.000,
     {"  0.000 > version request", "  0.000   Request Firmware Version (send) ",
      "  2.000   Firmware version received 95"}},
    {"NoVersionReplyFourAttemptsOf2000And7x500",
     Version(),
     EverySend({}),
     "false",
     22.000,
     {"  0.000 > version request", "  0.000   Request Firmware Version (send) ",
      "  5.500 > version request", "  5.500   Request Firmware Version (send) ",
      " 11.000 > version request", " 11.000   Request Firmware Version (send) ",
      " 16.500 > version request", " 16.500   Request Firmware Version (send) "}},
    {"VersionTransmitFailureEndsEachAttemptAtOnce",
     Version(),
     EverySend({{2300, TransferFailed()}}),
     "false",
     9.200,
     {"  0.000 > version request", "  0.000   Request Firmware Version (send) ",
      "  2.300   Firmware Request Failed (EventRxFailed)", "  2.300 > version request",
      "  2.300   Request Firmware Version (send) ",
      "  4.600   Firmware Request Failed (EventRxFailed)", "  4.600 > version request",
      "  4.600   Request Firmware Version (send) ",
      "  6.900   Firmware Request Failed (EventRxFailed)", "  6.900 > version request",
      "  6.900   Request Firmware Version (send) ",
      "  9.200   Firmware Request Failed (EventRxFailed)"}},
    {"VersionReplyWinsOverAFailureInTheSamePoll",
     Version(),
     PerSend({{1, {{2300, TransferFailed()}, {2300, kVersion95}}}}),
     "true",
     2.300,
     {"  0.000 > version request", "  0.000   Request Firmware Version (send) ",
      "  2.300   Firmware version received 95"}},
    {"VersionReplyBeforeTheFlagsArePreparedIsOverwritten",
     Version(),
     PerSend({{1, {{kDuringSend, kVersion95}}}, {2, {{2100, kVersion95}}}}),
     "true",
     7.600,
     {"  0.000 > version request", "  0.000   Request Firmware Version (send) ",
      "  5.500 > version request", "  5.500   Request Firmware Version (send) ",
      "  7.600   Firmware version received 95"}},
    // --------------------------------------------------------- RequestUnitType
    {"UnitTypeReplyEndsThePollAtOnce",
     UnitType(),
     PerSend({{1, {{2300, ReadReply(19)}}}}),
     "19",
     2.300,
     {"  0.000 > unit type request", "  0.000   Request Unit Type (send) ",
      "  2.300   Unit Type received :  19"}},
    {"UnitTypeZeroIsAskedAgainFourTimes",
     UnitType(),
     EverySend({{2100, ReadReply(0)}}),
     "0",
     8.400,
     {"  0.000 > unit type request", "  0.000   Request Unit Type (send) ",
      "  2.100   Unit Type received :  0", "  2.100 > unit type request",
      "  2.100   Request Unit Type (send) ", "  4.200   Unit Type received :  0",
      "  4.200 > unit type request", "  4.200   Request Unit Type (send) ",
      "  6.300   Unit Type received :  0", "  6.300 > unit type request",
      "  6.300   Request Unit Type (send) ", "  8.400   Unit Type received :  0"}},
    {"UnitTypeTransmitFailureIsAskedAgain",
     UnitType(),
     PerSend({{1, {{2600, TransferFailed()}}}, {2, {{2500, ReadReply(14)}}}}),
     "14",
     5.100,
     {"  0.000 > unit type request", "  0.000   Request Unit Type (send) ",
      "  2.600   ERROR RETRIVING UNIT TYPE", "  2.600 > unit type request",
      "  2.600   Request Unit Type (send) ", "  5.100   Unit Type received :  14"}},
    // --------------------------------------------------------- SetZeroPosition
    {"ZeroPosition10IsWrittenAs20AndTheConfirmationEndsThe1000msPoll",
     ZeroPosition(),
     PerSend({{1, {{2200, ReadReply(10)}}}, {2, {{2300, WriteConfirmed()}}}}),
     "20",
     4.500,
     {"  0.000 > zero position read request", "  0.000   Request Zero Position (send) ",
      "  2.200   Zero Position :  10", "  2.200 > zero position write 20",
      "  2.200   Request Write Zero Position (send) [20]", "  4.500   Zero Position writed :  20"}},
    {"ZeroPositionWriteNeverConfirmedFourAttemptsOf2000And7x1000",
     ZeroPosition(),
     PerSend({{1, {{2200, ReadReply(3)}}}}),
     "255",
     38.200,
     {"  0.000 > zero position read request", "  0.000   Request Zero Position (send) ",
      "  2.200   Zero Position :  3", "  2.200 > zero position write 6",
      "  2.200   Request Write Zero Position (send) [6]", " 11.200 > zero position write 6",
      " 11.200   Request Write Zero Position (send) [6]", " 20.200 > zero position write 6",
      " 20.200   Request Write Zero Position (send) [6]", " 29.200 > zero position write 6",
      " 29.200   Request Write Zero Position (send) [6]"}},
    {"ZeroPositionWriteFailureIsWrittenAgain",
     ZeroPosition(),
     PerSend({{1, {{2200, ReadReply(10)}}},
              {2, {{2300, TransferFailed()}}},
              {3, {{2300, WriteConfirmed()}}}}),
     "20",
     6.800,
     {"  0.000 > zero position read request", "  0.000   Request Zero Position (send) ",
      "  2.200   Zero Position :  10", "  2.200 > zero position write 20",
      "  2.200   Request Write Zero Position (send) [20]",
      "  4.500   ERROR RETRIVING ZERO POSITION", "  4.500 > zero position write 20",
      "  4.500   Request Write Zero Position (send) [20]", "  6.800   Zero Position writed :  20"}},
    {"ZeroPositionAlreadyCorrectedIsNotWritten",
     ZeroPosition(),
     PerSend({{1, {{2200, ReadReply(20)}}}}),
     "20",
     2.200,
     {"  0.000 > zero position read request", "  0.000   Request Zero Position (send) ",
      "  2.200   Zero Position :  20", "  2.200   Zero Position Upgrade not required!"}},
    {"ZeroPositionReadFailureIsAskedAgain",
     ZeroPosition(),
     PerSend({{1, {{2500, TransferFailed()}}}, {2, {{2200, ReadReply(6)}}}}),
     "6",
     4.700,
     {"  0.000 > zero position read request", "  0.000   Request Zero Position (send) ",
      "  2.500   ERROR RETRIVING ZERO POSITION", "  2.500 > zero position read request",
      "  2.500   Request Zero Position (send) ", "  4.700   Zero Position :  6",
      "  4.700   Zero Position Upgrade not required!"}},
    {"ZeroPositionNeverReadIs255WithoutAWrite",
     ZeroPosition(),
     EverySend({}),
     "255",
     22.000,
     {"  0.000 > zero position read request", "  0.000   Request Zero Position (send) ",
      "  5.500 > zero position read request", "  5.500   Request Zero Position (send) ",
      " 11.000 > zero position read request", " 11.000   Request Zero Position (send) ",
      " 16.500 > zero position read request", " 16.500   Request Zero Position (send) ",
      " 22.000   Zero Position Upgrade not required!"}},
    // ------------------------------------------------------------ program mode
    {"ProgramModeStartCompletedEndsThePollAtOnce",
     Enter(),
     PerSend({{1, {{700, TransferCompleted()}}}}),
     "true",
     0.700,
     {"  0.000 > program mode start 32",
      "  0.000   ANT_SendAcknowledgedData Start Program Mode (FOTA)",
      "  0.700   FOTA mode activated"}},
    {"ProgramModeStartCompletedInTheThirdAttemptCounts",
     Enter(),
     PerSend({{1, {{300, TransferFailed()}}},
              {2, {{300, TransferFailed()}}},
              {3, {{300, TransferCompleted()}}}}),
     "true",
     0.900,
     {"  0.000 > program mode start 32",
      "  0.000   ANT_SendAcknowledgedData Start Program Mode (FOTA)",
      "  0.300 > program mode start 32",
      "  0.300   ANT_SendAcknowledgedData Start Program Mode (FOTA)",
      "  0.600 > program mode start 32",
      "  0.600   ANT_SendAcknowledgedData Start Program Mode (FOTA)",
      "  0.900   FOTA mode activated"}},
    {"ProgramModeStartLateCompletionDuringTheThirdAttemptCounts",
     Enter(),
     PerSend({{1, {{8000, TransferCompleted()}}}}),
     "true",
     8.000,
     {"  0.000 > program mode start 32",
      "  0.000   ANT_SendAcknowledgedData Start Program Mode (FOTA)",
      "  3.500 > program mode start 32",
      "  3.500   ANT_SendAcknowledgedData Start Program Mode (FOTA)",
      "  7.000 > program mode start 32",
      "  7.000   ANT_SendAcknowledgedData Start Program Mode (FOTA)",
      "  8.000   FOTA mode activated"}},
    {"ProgramModeStartFailedThreeTimes",
     Enter(),
     EverySend({{300, TransferFailed()}}),
     "false",
     0.900,
     {"  0.000 > program mode start 32",
      "  0.000   ANT_SendAcknowledgedData Start Program Mode (FOTA)",
      "  0.300 > program mode start 32",
      "  0.300   ANT_SendAcknowledgedData Start Program Mode (FOTA)",
      "  0.600 > program mode start 32",
      "  0.600   ANT_SendAcknowledgedData Start Program Mode (FOTA)",
      "  0.900   FOTA mode failed"}},
    {"ProgramModeStartNoResultThreeAttemptsOf7x500",
     Enter(),
     EverySend({}),
     "false",
     10.500,
     {"  0.000 > program mode start 32",
      "  0.000   ANT_SendAcknowledgedData Start Program Mode (FOTA)",
      "  3.500 > program mode start 32",
      "  3.500   ANT_SendAcknowledgedData Start Program Mode (FOTA)",
      "  7.000 > program mode start 32",
      "  7.000   ANT_SendAcknowledgedData Start Program Mode (FOTA)",
      " 10.500   FOTA mode failed"}},
    {"ProgramModeExitCompleted",
     Exit(),
     PerSend({{1, {{400, TransferCompleted()}}}}),
     "true",
     0.400,
     {"  0.000 > program mode exit", "  0.000   ANT_SendAcknowledgedData Exit Program Mode (FOTA)",
      "  0.400   Correct Exit FOTA mode!"}},
    {"ProgramModeExitNoResult",
     Exit(),
     EverySend({}),
     "false",
     10.500,
     {"  0.000 > program mode exit", "  0.000   ANT_SendAcknowledgedData Exit Program Mode (FOTA)",
      "  3.500 > program mode exit", "  3.500   ANT_SendAcknowledgedData Exit Program Mode (FOTA)",
      "  7.000 > program mode exit", "  7.000   ANT_SendAcknowledgedData Exit Program Mode (FOTA)",
      " 10.500   Exit FOTA mode failed"}},
    // --------------------------------------------------------------- SendBurst
    {"BurstCompletedEndsThePollAtOnce",
     Burst(),
     PerSend({{1, {{250, TransferCompleted()}}}}),
     "true",
     0.250,
     {"  0.000 > burst of 3", "  0.000   ANT_SendBurstTransfer (Try 0) of pck n°1",
      "  0.250   Burst Event Tx confirmed"}},
    {"BurstFailedIsSentAgainAtOnce",
     Burst(),
     PerSend({{1, {{300, TransferFailed()}}}, {2, {{250, TransferCompleted()}}}}),
     "true",
     0.550,
     {"  0.000 > burst of 3", "  0.000   ANT_SendBurstTransfer (Try 0) of pck n°1",
      "  0.300 > burst of 3", "  0.300   ANT_SendBurstTransfer (Try 1) of pck n°1",
      "  0.550   Burst Event Tx confirmed"}},
    {"BurstFailureWinsOverACompletionInTheSamePoll",
     Burst(),
     PerSend({{1, {{300, TransferCompleted()}, {300, TransferFailed()}}},
              {2, {{200, TransferCompleted()}}}}),
     "true",
     0.500,
     {"  0.000 > burst of 3", "  0.000   ANT_SendBurstTransfer (Try 0) of pck n°1",
      "  0.300 > burst of 3", "  0.300   ANT_SendBurstTransfer (Try 1) of pck n°1",
      "  0.500   Burst Event Tx confirmed"}},
    {"BurstNeverCompletedFourTriesOf7x500",
     Burst(),
     EverySend({}),
     "false",
     14.000,
     {"  0.000 > burst of 3", "  0.000   ANT_SendBurstTransfer (Try 0) of pck n°1",
      "  3.500 > burst of 3", "  3.500   ANT_SendBurstTransfer (Try 1) of pck n°1",
      "  7.000 > burst of 3", "  7.000   ANT_SendBurstTransfer (Try 2) of pck n°1",
      " 10.500 > burst of 3", " 10.500   ANT_SendBurstTransfer (Try 3) of pck n°1"}},
    // -------------------------------------------------------------- RequestAck
    {"BlockAckTransmitAndAcknowledgementEachEndTheirWaitAtOnce",
     Ack(),
     PerSend({{1, {{500, TransferCompleted()}, {1500, BlockAcknowledged()}}}}),
     "true",
     1.500,
     {"  0.000 > block ack request 4096",
      "  0.000   ANT_SendAcknowledgedData Request for ack pck n° 0"}},
    {"BlockAckRequestNotDeliveredIsAskedAgainAtOnce",
     Ack(),
     PerSend({{1, {{400, TransferFailed()}}},
              {2, {{500, TransferCompleted()}, {1000, BlockAcknowledged()}}}}),
     "true",
     1.400,
     {"  0.000 > block ack request 4096",
      "  0.000   ANT_SendAcknowledgedData Request for ack pck n° 0",
      "  0.400   ANT_SendAcknowledgedData EVENT_RX_FAIL,try again pck n° 0",
      "  0.400 > block ack request 4096",
      "  0.400   ANT_SendAcknowledgedData Request for ack pck n° 0"}},
    {"BlockAckThatNeverComesGivesFourNackLines",
     Ack(),
     EverySend({{400, TransferCompleted()}}),
     "false",
     15.600,
     {"  0.000 > block ack request 4096",
      "  0.000   ANT_SendAcknowledgedData Request for ack pck n° 0",
      "  3.900   NACK for pck n° 0 try again.", "  3.900 > block ack request 4096",
      "  3.900   ANT_SendAcknowledgedData Request for ack pck n° 0",
      "  7.800   NACK for pck n° 0 try again.", "  7.800 > block ack request 4096",
      "  7.800   ANT_SendAcknowledgedData Request for ack pck n° 0",
      " 11.700   NACK for pck n° 0 try again.", " 11.700 > block ack request 4096",
      " 11.700   ANT_SendAcknowledgedData Request for ack pck n° 0",
      " 15.600   NACK for pck n° 0 try again."}},
    {"BlockAckWithNoEventAtAllFourAttemptsOf3500And3500",
     Ack(),
     EverySend({}),
     "false",
     28.000,
     {"  0.000 > block ack request 4096",
      "  0.000   ANT_SendAcknowledgedData Request for ack pck n° 0",
      "  7.000   NACK for pck n° 0 try again.", "  7.000 > block ack request 4096",
      "  7.000   ANT_SendAcknowledgedData Request for ack pck n° 0",
      " 14.000   NACK for pck n° 0 try again.", " 14.000 > block ack request 4096",
      " 14.000   ANT_SendAcknowledgedData Request for ack pck n° 0",
      " 21.000   NACK for pck n° 0 try again.", " 21.000 > block ack request 4096",
      " 21.000   ANT_SendAcknowledgedData Request for ack pck n° 0",
      " 28.000   NACK for pck n° 0 try again."}},
    {"BlockAckHandledBeforeTheWorkerAwaitsItIsLost",
     Ack(),
     PerSend({{1, {{200, BlockAcknowledged()}, {400, TransferCompleted()}}},
              {2, {{400, TransferCompleted()}, {1400, BlockAcknowledged()}}}}),
     "true",
     5.300,
     {"  0.000 > block ack request 4096",
      "  0.000   ANT_SendAcknowledgedData Request for ack pck n° 0",
      "  3.900   NACK for pck n° 0 try again.", "  3.900 > block ack request 4096",
      "  3.900   ANT_SendAcknowledgedData Request for ack pck n° 0"}},
};

class Transactions : public ::testing::TestWithParam<TransactionCase> {};

TEST_P(Transactions, PauseAndPollAsScripted) {
    const TransactionCase& c = GetParam();
    ScriptedLink link;
    EXPECT_EQ(link.Run(c.body, c.script), c.result);
    EXPECT_EQ(link.trace, c.trace);
    EXPECT_NEAR(link.endSeconds, c.endSeconds, 1e-9);
}

INSTANTIATE_TEST_SUITE_P(Worker, Transactions, ::testing::ValuesIn(kTransactions),
                         [](const auto& p) { return std::string(p.param.name); });

// The old waits ran every poll to its limit; the benchmark keeps them for
// comparison, so they must still behave as they did.
TEST(TransactionWaits, PollsOnTheGridRunToTheirLimitBeforeLooking) {
    ScriptedLink link;
    link.link.pollOnGrid = true;
    EXPECT_EQ(link.Run(Version(), PerSend({{1, {{2120, kVersion95}}}})), "true");
    EXPECT_EQ(link.trace.back(), "  2.500   Firmware version received 95");
}

// A stop request ends a poll at once, and the worker does nothing after it.
TEST(TransactionWaits, AStopRequestEndsAPollAtOnce) {
    ScriptedLink link;
    const std::string result = link.Run(
        Burst(), PerSend({{1, {{1200, [](TFOTALink&, TFOTAThread& w) { w.Terminate(); }}}}}));
    EXPECT_EQ(result, "(stopped)");
    EXPECT_NEAR(link.endSeconds, 1.2, 1e-9);
    EXPECT_EQ(link.trace.size(), 2u);  // the burst and its line, nothing after
}

// ---- The body.

// How the scripted trainer answers, the handler reporting each answer.
struct Trainer {
    // The replies to the version requests in order (version, sub-version,
    // unit type); a request beyond the list gets none.
    std::vector<std::array<std::uint8_t, 3>> versions;
    std::optional<std::uint8_t> unitType;      // every unit type request
    std::optional<std::uint8_t> zeroPosition;  // every zero position read
    bool takesProgramModeStart = true;
    bool takesProgramModeExit = true;
    // Broadcasts after the program mode exit page, in ms (the restart).
    std::vector<std::int64_t> broadcastsAfterExit{4200};

    LinkScript Script() const {
        auto versionRequests = std::make_shared<std::size_t>(0);
        return [*this, versionRequests](const std::string& what, int) {
            std::vector<Reaction> r;
            if (what == "version request") {
                const std::size_t k = (*versionRequests)++;
                if (k < versions.size()) {
                    const auto& v = versions[k];
                    r.push_back({1000, VersionReply(v[0], v[1], v[2])});
                }
            } else if (what == "unit type request" && unitType) {
                r.push_back({1000, ReadReply(*unitType)});
            } else if (what == "zero position read request" && zeroPosition) {
                r.push_back({1000, ReadReply(*zeroPosition)});
            } else if (what.starts_with("zero position write")) {
                r.push_back({1000, WriteConfirmed()});
            } else if (what.starts_with("program mode start") && takesProgramModeStart) {
                r.push_back({300, TransferCompleted()});
            } else if (what.starts_with("burst")) {
                r.push_back({200, TransferCompleted()});
            } else if (what.starts_with("block ack request")) {
                r.push_back({300, TransferCompleted()});
                r.push_back({1300, BlockAcknowledged()});
            } else if (what == "program mode exit" && takesProgramModeExit) {
                r.push_back({300, TransferCompleted()});
                for (const std::int64_t ms : broadcastsAfterExit) {
                    r.push_back({ms, Broadcast()});
                }
            }
            return r;
        };
    }
};

Trainer Answers(std::vector<std::array<std::uint8_t, 3>> versions) {
    Trainer t;
    t.versions = std::move(versions);
    return t;
}

// What the scripted images hold: two blocks, or (empty) nothing; "missing"
// for no image of that name.
enum class Images { TwoBlocks, Empty, Missing };

struct BodyCase {
    const char* name;
    Trainer trainer;
    Images images;
    TProgrammingStateFota state;
    bool error;
    std::vector<std::string> log;
};

void PrintTo(const BodyCase& c, std::ostream* os) {
    *os << c.name;
}

using Lines = std::vector<std::string>;

Lines operator+(Lines a, const Lines& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
Lines Times(int n, const std::string& line) {
    return Lines(static_cast<std::size_t>(n), line);
}

const Lines kQueryVersion = {"Request Firmware Version (send) "};
Lines Received(int v) {
    return {"Request Firmware Version (send) ", "Firmware version received " + std::to_string(v)};
}
// Programming mode, the two blocks, the exit and a boot wait of two steps.
Lines Programmed(const std::string& image) {
    return Lines{"Firware Selected -> " + image,
                 "ANT_SendAcknowledgedData Start Program Mode (FOTA)",
                 "FOTA mode activated",
                 "Start Transmission",
                 "ANT_SendBurstTransfer (Try 0) of pck n°1",
                 "Burst Event Tx confirmed",
                 "ANT_SendAcknowledgedData Request for ack pck n° 1",
                 "ANT_SendBurstTransfer (Try 0) of pck n°2",
                 "Burst Event Tx confirmed",
                 "ANT_SendAcknowledgedData Request for ack pck n° 2",
                 "Trasmission End",
                 "ANT_SendAcknowledgedData Exit Program Mode (FOTA)",
                 "Correct Exit FOTA mode!",
                 "WaitingForBoot....",
                 "WaitingForBoot...."};
}
const Lines kSelectKov128 = {"Select Firmware to send", "isNOTBluetooth (micr0128)",
                             "FFirmwareName := FW_KOV_128"};
const Lines kSelectWek128 = {"Select Firmware to send", "isNOTBluetooth (micr0128)",
                             "FFirmwareName := FW_WEK_128"};
const Lines kSelectBoot64 = {"Select Firmware to send"};
const Lines kUnitType14 = {"Request Unit Type (send) ", "Unit Type received :  14"};
const Lines kFinished = {"Programmation terminate with -> OK"};

std::vector<BodyCase> BodyCases() {
    std::vector<BodyCase> cases = {
        {"VersionQueryFailsInPsfError", Trainer{}, Images::TwoBlocks, psfError, true,
         Times(4, kQueryVersion[0]) + Lines{"Error in FW version reading."}},
        {"UnitTypeQueryFailsInPsfStart", Answers({{95, 0, 0}}), Images::TwoBlocks, psfStart, true,
         Received(95) + Times(4, "Request Unit Type (send) ") +
             Lines{"Error in Unit Type reading."}},
        {"ImageWithoutBlocksEndsTheBody", Answers({{95, 1, 14}}), Images::Empty,
         psfProgrammingFirmware, false,
         Received(95) + kSelectKov128 + Lines{"Errore unexpeted [loading resource]"}},
        {"ImageTheStoreDoesNotHoldEndsTheBodySilently", Answers({{95, 1, 14}}), Images::Missing,
         psfProgrammingFirmware, false, Received(95) + kSelectKov128},
        {"ProgramModeNotEnteredEndsTheUpgrade",
         [] {
             Trainer t = Answers({{95, 1, 14}});
             t.takesProgramModeStart = false;
             return t;
         }(),
         Images::TwoBlocks, psfProgrammingFirmware, true,
         Received(95) + kSelectKov128 + Lines{"Firware Selected -> FW_KOV_128"} +
             Times(3, "ANT_SendAcknowledgedData Start Program Mode (FOTA)") +
             Lines{"FOTA mode failed", "Fota failed : Teminated"}},
        {"ProgramModeNotLeftEndsTheUpgrade",
         [] {
             Trainer t = Answers({{95, 1, 14}});
             t.takesProgramModeExit = false;
             return t;
         }(),
         Images::TwoBlocks, psfProgrammingFirmware, true,
         [] {
             Lines l = Received(95) + kSelectKov128 + Programmed("FW_KOV_128");
             l.resize(l.size() - 4);  // up to "Trasmission End"
             return l + Times(3, "ANT_SendAcknowledgedData Exit Program Mode (FOTA)") +
                    Lines{"Exit FOTA mode failed", "Exit Fota failed : Teminated"};
         }()},
        {"VersionReReadFailsInPsfError", Answers({{95, 1, 14}}), Images::TwoBlocks, psfError, true,
         Received(95) + kSelectKov128 + Programmed("FW_KOV_128") + Times(4, kQueryVersion[0]) +
             Lines{"Exit Fota failed : Teminated"}},
        {"FirmwareTooLowRepeatsTheWholePass",
         [] {
             Trainer t = Answers({{80, 0, 0}, {80, 0, 0}, {80, 0, 0}});
             t.unitType = 14;
             return t;
         }(),
         Images::TwoBlocks, psfError, true,
         Received(80) + kUnitType14 + kSelectBoot64 + Programmed("BOOTLOADER64") + Received(80) +
             Lines{"Firmware too low, repeat the bootloader upgrade.(FirstPhase)"} + Received(80) +
             kUnitType14 + kSelectBoot64 + Programmed("BOOTLOADER64") + Times(4, kQueryVersion[0]) +
             Lines{"Exit Fota failed : Teminated"}},
        {"Version118ForAWekTrainerReadsTheZeroPosition",
         [] {
             Trainer t = Answers({{95, 1, 17}, {118, 1, 17}});
             t.zeroPosition = 20;
             return t;
         }(),
         Images::TwoBlocks, psfFinishOK, false,
         Received(95) + kSelectWek128 + Programmed("FW_WEK_128") + Received(118) +
             Lines{"Request Zero Position (send) ", "Zero Position :  20",
                   "Zero Position Upgrade not required!", "SetZeroPosition writed !"} +
             kFinished},
        {"Version118ForAnotherTrainerFinishesAtOnce", Answers({{95, 1, 14}, {118, 1, 14}}),
         Images::TwoBlocks, psfFinishOK, false,
         Received(95) + kSelectKov128 + Programmed("FW_KOV_128") + Received(118) + kFinished},
    };
    // Versions 114 to 117 finish without the zero position, even for a WEK trainer.
    static const char* const kNames[] = {
        "Version114FinishesWithoutZeroPosition", "Version115FinishesWithoutZeroPosition",
        "Version116FinishesWithoutZeroPosition", "Version117FinishesWithoutZeroPosition"};
    for (std::uint8_t v = 114; v <= 117; ++v) {
        cases.push_back(
            {kNames[v - 114], Answers({{95, 1, 17}, {v, 1, 17}}), Images::TwoBlocks, psfFinishOK,
             false,
             Received(95) + kSelectWek128 + Programmed("FW_WEK_128") + Received(v) + kFinished});
    }
    return cases;
}

class UpgradeBody : public ::testing::TestWithParam<BodyCase> {};

void UseImages(ScriptedLink& link, Images images) {
    link.images = [images](const std::string&, TFirmware& image) {
        if (images == Images::TwoBlocks) {
            for (const std::string& line : HexRecords({0x1000, 0x2000})) {
                image.addHex(line);
            }
        }
        return images != Images::Missing;
    };
}

TEST_P(UpgradeBody, EndsAsScripted) {
    const BodyCase& c = GetParam();
    ScriptedLink link;
    UseImages(link, c.images);
    link.RunUpgrade(c.trainer.Script());
    EXPECT_EQ(link.logTexts, c.log);
    EXPECT_EQ(link.worker->GetState(), c.state) << StateName(link.worker->GetState());
    EXPECT_EQ(link.worker->FotaNoError(), c.error);
}

INSTANTIATE_TEST_SUITE_P(Worker, UpgradeBody, ::testing::ValuesIn(BodyCases()),
                         [](const auto& p) { return std::string(p.param.name); });

// The times of the boot wait, counted from the program mode exit page.
struct BootWait {
    std::vector<double> waitingLines;
    double versionRequest = -1;
};

BootWait BootWaitOf(const std::vector<std::string>& trace) {
    BootWait b;
    double exitAt = -1;
    for (const std::string& line : trace) {
        const double at = std::stod(line.substr(0, 7));
        const std::string what = line.substr(8);
        if (what == "> program mode exit") {
            exitAt = at;
        } else if (exitAt >= 0 && what == "  WaitingForBoot....") {
            b.waitingLines.push_back(at - exitAt);
        } else if (exitAt >= 0 && what == "> version request" && b.versionRequest < 0) {
            b.versionRequest = at - exitAt;
        }
    }
    return b;
}

// The exit page completes after 300 ms; 3000 ms later the boot wait begins
// and looks at its flag every 700 ms.
TEST(BootWaitOfTheBody, EndsAtTheFirstLookAfterTheRestartBroadcast) {
    Trainer t = Answers({{95, 1, 14}, {120, 1, 14}});
    t.broadcastsAfterExit = {5200};
    ScriptedLink link;
    UseImages(link, Images::TwoBlocks);
    link.RunUpgrade(t.Script());
    const BootWait b = BootWaitOf(link.trace);
    ASSERT_EQ(b.waitingLines.size(), 3u);
    EXPECT_NEAR(b.waitingLines[0], 4.0, 1e-9);
    EXPECT_NEAR(b.waitingLines[2], 5.4, 1e-9);
    EXPECT_NEAR(b.versionRequest, 5.4, 1e-9);
    EXPECT_EQ(link.worker->GetState(), psfFinishOK);
}

TEST(BootWaitOfTheBody, ABroadcastDuringTheFirstPauseDoesNotShortenIt) {
    Trainer t = Answers({{95, 1, 14}, {120, 1, 14}});
    t.broadcastsAfterExit = {1000};  // before the wait has begun, then silence
    ScriptedLink link;
    UseImages(link, Images::TwoBlocks);
    link.RunUpgrade(t.Script());
    const BootWait b = BootWaitOf(link.trace);
    ASSERT_EQ(b.waitingLines.size(), 41u);
    EXPECT_NEAR(b.waitingLines.back(), 0.3 + 3.0 + 41 * 0.7, 1e-9);
    EXPECT_NEAR(b.versionRequest, 32.0, 1e-9);
    EXPECT_TRUE(link.worker->WaitingForBoot());  // never cleared; the version is asked anyway
    EXPECT_EQ(link.worker->GetState(), psfFinishOK);
}

}  // namespace
