#pragma once
// The simulated trainer's side of the FOTA pages: what it broadcasts, how it
// answers each request, how it collects the image in programming mode and
// what it runs after it restarts. It knows nothing of time or radio: the air
// model of SimulatedStick asks it for a page once per slot and hands it what
// it heard.
//
// Requests (acknowledged pages) and what the trainer does, the reply going out
// as acknowledged data in its next slot:
//   11 ..          version request      -> 11 V S U 00 00 00 00
//   02 10 00 01 .. unit type read       -> 02 U 00 ..
//   02 1D 00 01 .. zero position read   -> 02 Z 00 ..
//   03 1D 00 01 Z  zero position write  -> stores Z, FF 03 00 ..
//   10 s2 s1 s0 .. program mode start   -> programming mode, expects s bytes (no reply)
//   13 H L ..      block ack request    -> 13 00 H L 00 .. when block H:L was accepted
//   14 01 ..       program mode exit    -> leaves programming mode and restarts
// Anything else is heard and ignored.
//
// In programming mode each complete burst is one packet group: a header
// packet 12 size(2) address(2) crc(2) 12 and ceil(size / 8) data packets. The
// block is kept by address (a resent block replaces the earlier one) when the
// size is at most 512 and the CRC-16 over `size` bytes matches.
//
// After the restart it runs what it received when that is a whole demo image
// (image/DemoHeader.h): a bootloader image makes it report version 1, the
// image's sub-version and the bootloader unit type of its model; a firmware
// image the image's version, sub-version and unit type. Anything else (a gap,
// a wrong byte count, a bad checksum, no header) leaves it in its bootloader.

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "image/DemoHeader.h"
#include "sim/SimConfig.h"

namespace fota::sim {

using BlockList = std::vector<std::pair<std::uint16_t, std::vector<std::uint8_t>>>;

// One stay in programming mode: from program mode start to exit.
struct ProgrammingSession {
    enum class Outcome : std::uint8_t {
        Open,                // still in programming mode
        RanBootloader,       // restarted into the received bootloader image
        RanFirmware,         // restarted into the received firmware image
        StayedInBootloader,  // restarted, but what it received was no whole image
        Abandoned,           // a new program mode start came before an exit
    };

    std::uint32_t announcedBytes = 0;
    std::map<std::uint16_t, std::vector<std::uint8_t>> blocks;  // by address
    Outcome outcome = Outcome::Open;
    std::string verdict;  // why it ran it or not, for failure messages

    // The blocks in address order, back to back.
    std::vector<std::uint8_t> assembled() const;
    // Every block starts where the one before it ends.
    bool contiguous() const;
    // Exactly these blocks (addresses and bytes), in any order.
    bool holdsExactly(const BlockList& expected) const;
};

struct TrainerCounters {
    unsigned broadcasts = 0;      // broadcast pages sent
    unsigned requests = 0;        // acknowledged pages heard
    unsigned pagesAnswered = 0;   // replies sent
    unsigned repliesLost = 0;     // replies dropped (queue full, restart, gone)
    unsigned burstsReceived = 0;  // complete bursts heard
    unsigned burstsFailed = 0;    // bursts that broke off on the air
    unsigned burstsIgnored = 0;   // complete bursts outside programming mode
    unsigned blocksAccepted = 0;
    unsigned blocksRejected = 0;
    unsigned blockAcksWithheld = 0;
    unsigned zeroWrites = 0;
    unsigned restarts = 0;

    bool operator==(const TrainerCounters&) const = default;
};

// A copy of everything a test may want to look at.
struct TrainerReport {
    std::uint8_t version = 0;
    std::uint8_t subVersion = 0;
    std::uint8_t unitType = 0;
    std::uint8_t zeroPosition = 0;
    bool runsBootloader = false;
    std::optional<DemoHeader> running;  // the received image it runs now, if any
    bool programming = false;
    bool restarting = false;
    bool gone = false;
    TrainerCounters counters;
    std::vector<ProgrammingSession> sessions;  // oldest first (the last 16)

    const ProgrammingSession* lastSession() const {
        return sessions.empty() ? nullptr : &sessions.back();
    }
    // The last session holds exactly these blocks.
    bool holdsExactly(const BlockList& expected) const {
        return !sessions.empty() && sessions.back().holdsExactly(expected);
    }
};

class Trainer {
public:
    using TraceFn = std::function<void(const std::string&)>;

    static constexpr std::size_t kMaxBlockBytes = 512;
    static constexpr std::size_t kMaxBlocks = 1024;  // per session
    static constexpr std::size_t kMaxQueuedReplies = 16;
    static constexpr std::size_t kMaxSessions = 16;

    Trainer(const TrainerConfig& config, const Faults& faults, TraceFn trace);

    struct Transmission {
        Page page{};
        bool acknowledged = false;
        PageKind kind = PageKind::StatusPage;
    };
    // Its page for the slot now: the oldest queued reply, else a broadcast.
    Transmission nextTransmission();

    enum class Action : std::uint8_t { None, Restart };
    // An acknowledged page it heard. Restart: program mode exit.
    Action onAcknowledged(const Page& page);
    void onBroadcast(const Page& page);
    // A complete burst (packets in order) and a burst that broke off.
    void onBurst(std::span<const Page> packets);
    void onBurstFailed();

    // Goes silent for its restart; finishRestart runs what it received.
    void beginRestart();
    void finishRestart();
    void disappear();

    bool silent() const { return restarting_ || gone_; }
    bool gone() const { return gone_; }
    const TrainerCounters& counters() const { return counters_; }
    TrainerReport report() const;

private:
    void reply(const Page& page, PageKind kind, const std::string& what);
    void acceptGroup(std::span<const Page> packets);
    void blockAckRequest(std::uint16_t address);
    ProgrammingSession* session();

    Faults faults_;
    Model model_;
    unsigned versionPageEvery_;
    TraceFn trace_;

    std::uint8_t version_;
    std::uint8_t subVersion_;
    std::uint8_t unitType_;
    std::uint8_t bootloaderSubVersion_;
    std::uint8_t zeroPosition_;
    bool runsBootloader_;
    std::optional<DemoHeader> running_;

    bool programming_ = false;
    bool restarting_ = false;
    bool gone_ = false;
    std::deque<Transmission> replies_;
    std::deque<ProgrammingSession> sessions_;
    std::map<std::uint16_t, unsigned> blockNumbers_;     // address -> 1-based, this session
    std::map<std::uint16_t, unsigned> ackRequestsSeen_;  // address -> requests, this session
    std::uint8_t broadcastCounter_ = 0;
    TrainerCounters counters_;
};

std::string hexBytes(std::span<const std::uint8_t> bytes);

}  // namespace fota::sim
