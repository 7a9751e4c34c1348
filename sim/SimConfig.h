#pragma once
// What a simulated stick and its trainer are, and how they misbehave.
//
// The trainer is an ANT master on the radio parameters of a "Mova" trainer
// (RF 71, period 31814, device type 19, network key of eight zero bytes),
// broadcasting one page per period and answering the FOTA requests. The stick
// is an ANT USB stick with `channels` channels; a slave channel finds the
// trainer only when its network key, RF frequency, period, device type,
// transmission type and device number (0 matches any) all agree with the
// trainer's.
//
// FAULT KNOBS (struct Faults). All are off by default; everything random draws
// from one std::mt19937 seeded with SimConfig::seed, so a run repeats exactly.
//
//   dropToTrainer[kind]    pages from the program that the trainer never hears;
//                          an acknowledged page then ends in
//                          EVENT_TRANSFER_TX_FAILED (nobody acknowledged it).
//   dropFromTrainer[kind]  pages from the trainer that the stick never hears
//                          (EVENT_RX_FAIL while tracking). A lost reply is not
//                          sent again.
//   failAckedSends         the picked acknowledged sends of the program: the
//                          trainer hears and acts on the page but its
//                          acknowledgement is lost: EVENT_TRANSFER_TX_FAILED.
//   failBursts             the picked bursts fail half-way:
//                          EVENT_TRANSFER_TX_START, then
//                          EVENT_TRANSFER_TX_FAILED; the trainer keeps nothing.
//   blockAcks              block acknowledgements: Sent, FirstRequestWithheld
//                          (the first request for each block goes unanswered,
//                          a repeated one is answered) or Withheld (never).
//   withholdBlockAckFor    block numbers (1 = the first block the trainer
//                          accepted in this programming session) whose
//                          acknowledgement never comes.
//   TrainerConfig::restartTime
//                          how long the trainer is silent after program mode
//                          exit; longer than the search timeout loses it.
//   disappear              the trainer stops transmitting for good at a moment
//                          (When): the stick reports EVENT_RX_FAIL, drops to
//                          search, then EVENT_RX_SEARCH_TIMEOUT and
//                          EVENT_CHANNEL_CLOSED.
//   faultyBootloader       a bootloader the trainer restarts into reports unit
//                          type 255.
//   noUnitTypeAfterRestart after a restart the trainer reports sub-version 0,
//                          so its version reply carries no unit type.
//   zeroWriteUnconfirmed   the trainer stores a zero position write but never
//                          sends the command acknowledgement.
//   lineGarbage            share of the stick's messages preceded by 1 to 8
//                          random bytes on the serial line.
//   lineCorrupt            share of the stick's messages sent with a wrong
//                          checksum (the program's decoder drops them).
//   stickVanishes          the stick is unplugged at a moment (When): the line
//                          fails for the program.
//
// Picks count occurrences from 1, per kind of page (PageKind::Any counts every
// page of that direction), per acknowledged send, per burst.

#include <array>
#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <optional>
#include <random>
#include <string_view>
#include <vector>

#include "platform/Clock.h"

namespace fota::sim {

using Page = std::array<std::uint8_t, 8>;

enum class Model : std::uint8_t { KOV, PU, LO, WEK, DUF, TOBE, GILNO, MUSEK };

std::string_view modelCode(Model model);
std::optional<Model> modelFromCode(std::string_view code);
// The unit type the trainer's bootloader reports: KOV 9, PU 11, LO 12, WEK 13;
// 10 for the models that have no bootloader stage.
std::uint8_t bootloaderUnitType(Model model);
// The unit type its firmware reports: KOV 14, LO 15, PU 16, WEK 17, DUF 18,
// TOBE 19, GILNO and MUSEK 20.
std::uint8_t firmwareUnitType(Model model);

// A channel period in clock time (period in units of 1/32768 s).
Duration periodDuration(std::uint16_t period);

struct RadioParams {
    std::uint8_t rfFrequency = 71;
    std::uint16_t period = 31814;
    std::uint8_t deviceType = 19;
    std::uint8_t transmissionType = 1;
    std::array<std::uint8_t, 8> networkKey{};

    bool operator==(const RadioParams&) const = default;
};

struct TrainerConfig {
    Model model = Model::KOV;
    std::uint16_t deviceNumber = 1234;
    RadioParams radio;

    // What the trainer reports at the start. With runsBootloader it reports
    // version 1, bootloaderSubVersion and the bootloader unit type of its
    // model instead of these three.
    std::uint8_t version = 90;
    std::uint8_t subVersion = 0;
    std::uint8_t unitType = 14;
    bool runsBootloader = false;
    std::uint8_t bootloaderSubVersion = 86;  // 85: 64K controller, 86: 128K
    std::uint8_t zeroPosition = 10;

    // Silence between program mode exit and the first page of the restarted trainer.
    Duration restartTime = std::chrono::milliseconds(4000);
    // Time of its first broadcast (the phase of its period).
    Duration firstBroadcast = std::chrono::milliseconds(10);
    // A version page (0x11) instead of the status page every n-th broadcast; 0: never.
    unsigned versionPageEvery = 0;
};

struct StickConfig {
    std::uint8_t channels = 8;
    std::uint8_t networks = 8;
    // From a reset command to the start-up message; input meanwhile is lost.
    Duration resetTime = std::chrono::milliseconds(3);
    // From the master's message to the result of an acknowledged send.
    Duration ackTime = std::chrono::milliseconds(2);
    // One burst packet on the air.
    Duration burstPacketTime = std::chrono::milliseconds(3);
    // How late the program may hand the next burst packet before the burst fails.
    Duration burstHostSlack = std::chrono::milliseconds(20);
    // Consecutive missed messages that drop a tracking channel to search; 0:
    // as ANT does it, 4 below 2 Hz, else two seconds' worth.
    unsigned missesBeforeSearch = 0;
};

// The kinds of pages on the air, in both directions.
enum class PageKind : std::uint8_t {
    Any,
    // program -> trainer
    VersionRequest,
    UnitTypeRequest,
    ZeroPositionRead,
    ZeroPositionWrite,
    ProgramStart,
    BlockAckRequest,
    ProgramExit,
    OtherRequest,  // any other acknowledged page
    Broadcast,     // a broadcast page from the program
    // trainer -> program
    StatusPage,
    VersionPage,  // broadcast
    VersionReply,
    ReadReply,
    CommandAck,
    BlockAck,
};
std::string_view toString(PageKind kind);
PageKind classifyProgramPage(const Page& page, bool acknowledged);

// Picks occurrences of a series (pages of a kind, sends, bursts), counted from 1.
struct Pick {
    std::vector<unsigned> nth;  // these occurrences
    bool every = false;         // every occurrence
    double fraction = 0.0;      // besides, each occurrence with this probability

    static Pick at(std::initializer_list<unsigned> n) { return Pick{n, false, 0.0}; }
    static Pick all() { return Pick{{}, true, 0.0}; }
    static Pick share(double f) { return Pick{{}, false, f}; }

    bool active() const { return every || !nth.empty() || fraction > 0.0; }
    // Draws from rng only when fraction is set, so other knobs keep their draws.
    bool picks(unsigned ordinal, std::mt19937& rng) const;
};

// A moment in the course of an upgrade.
struct When {
    enum class Kind : std::uint8_t {
        Never,
        AtTime,         // at clock time `at`
        AfterRequests,  // right after the trainer heard its `count`-th request
        AfterBlocks,    // right after it accepted its `count`-th block (no ack for it)
        AtProgramExit,  // at program mode exit (during the program's boot wait)
    };
    Kind kind = Kind::Never;
    Duration at{};
    unsigned count = 0;

    static When never() { return {}; }
    static When atTime(Duration t) { return {Kind::AtTime, t, 0}; }
    static When afterRequests(unsigned n) { return {Kind::AfterRequests, {}, n}; }
    static When afterBlocks(unsigned n) { return {Kind::AfterBlocks, {}, n}; }
    static When atProgramExit() { return {Kind::AtProgramExit, {}, 0}; }
};

struct Faults {
    std::map<PageKind, Pick> dropToTrainer;
    std::map<PageKind, Pick> dropFromTrainer;
    Pick failAckedSends;
    Pick failBursts;
    enum class BlockAcks : std::uint8_t { Sent, FirstRequestWithheld, Withheld };
    BlockAcks blockAcks = BlockAcks::Sent;
    std::vector<unsigned> withholdBlockAckFor;
    When disappear;
    bool faultyBootloader = false;
    bool noUnitTypeAfterRestart = false;
    bool zeroWriteUnconfirmed = false;
    double lineGarbage = 0.0;
    double lineCorrupt = 0.0;
    When stickVanishes;
};

struct SimConfig {
    StickConfig stick;
    TrainerConfig trainer;
    Faults faults;
    std::uint32_t seed = 1;
};

}  // namespace fota::sim
