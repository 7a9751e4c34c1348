#include "sim/SimulatedStick.h"

#include <algorithm>
#include <cstdio>
#include <deque>
#include <map>
#include <optional>
#include <random>
#include <tuple>

#include "antlink/ANTDEFINES.h"

namespace fota::sim {

namespace {

namespace a = fota::ant;

// The key every network holds after a reset: ANT's public network key.
constexpr std::array<std::uint8_t, 8> kPublicNetworkKey = {0xE8, 0xE4, 0x21, 0x3B,
                                                           0x55, 0x7A, 0x67, 0xC1};
constexpr Duration kSearchTimeoutUnit = std::chrono::milliseconds(2500);
constexpr std::uint8_t kInfiniteSearch = 255;
constexpr std::uint8_t kMaxRfFrequency = 124;
constexpr std::size_t kMaxBurstPackets = 4096;
constexpr std::size_t kMaxTraceLines = 50000;
constexpr std::size_t kMaxSerialErrorsPerRead = 4;
// EVENT_TX of a master channel comes at most this often, whatever its period.
constexpr Duration kMinMasterPeriod = std::chrono::milliseconds(5);

constexpr std::uint8_t kStartupCommandReset = 0x20;
constexpr std::uint8_t kSerialErrorChecksum = 0x02;
constexpr std::uint8_t kSerialErrorTooLarge = 0x03;
constexpr std::uint8_t kMesgVersionId = 0x3E;
constexpr std::uint8_t kMesgChannelStatusId = 0x52;
constexpr std::uint8_t kMesgCapabilitiesId = 0x54;
constexpr std::uint8_t kMesgSerialNumberId = 0x61;
constexpr std::uint8_t kTypeMaster = 0x10;
constexpr std::uint8_t kTypeOneWay = 0x40;  // slave receive-only, master transmit-only

// Events at the same time run in this order.
enum Priority : int {
    kTrainerSlot = 0,  // the trainer puts its page on the air
    kChannelSlot = 1,  // the stick's channels listen
    kOther = 2,
};

std::string_view messageName(std::uint8_t id) {
    switch (id) {
        case a::MESG_SYSTEM_RESET_ID:
            return "reset";
        case a::MESG_NETWORK_KEY_ID:
            return "network key";
        case a::MESG_ASSIGN_CHANNEL_ID:
            return "assign channel";
        case a::MESG_UNASSIGN_CHANNEL_ID:
            return "unassign channel";
        case a::MESG_CHANNEL_ID_ID:
            return "channel id";
        case a::MESG_CHANNEL_MESG_PERIOD_ID:
            return "channel period";
        case a::MESG_CHANNEL_SEARCH_TIMEOUT_ID:
            return "search timeout";
        case a::MESG_CHANNEL_RADIO_FREQ_ID:
            return "rf frequency";
        case a::MESG_OPEN_CHANNEL_ID:
            return "open channel";
        case a::MESG_CLOSE_CHANNEL_ID:
            return "close channel";
        case a::MESG_REQUEST_ID:
            return "request";
        case a::MESG_BROADCAST_DATA_ID:
            return "broadcast data";
        case a::MESG_ACKNOWLEDGED_DATA_ID:
            return "acknowledged data";
        case a::MESG_BURST_DATA_ID:
            return "burst data";
        default:
            return "message";
    }
}

std::string codeName(std::uint8_t code) {
    switch (code) {
        case a::RESPONSE_NO_ERROR:
            return "ok";
        case a::CHANNEL_IN_WRONG_STATE:
            return "CHANNEL_IN_WRONG_STATE";
        case a::CHANNEL_NOT_OPENED:
            return "CHANNEL_NOT_OPENED";
        case a::TRANSFER_IN_PROGRESS:
            return "TRANSFER_IN_PROGRESS";
        case a::TRANSFER_SEQUENCE_NUMBER_ERROR:
            return "TRANSFER_SEQUENCE_NUMBER_ERROR";
        case a::TRANSFER_IN_ERROR:
            return "TRANSFER_IN_ERROR";
        case a::INVALID_MESSAGE:
            return "INVALID_MESSAGE";
        case a::INVALID_NETWORK_NUMBER:
            return "INVALID_NETWORK_NUMBER";
        case a::INVALID_PARAMETER_PROVIDED:
            return "INVALID_PARAMETER_PROVIDED";
        default:
            return "code " + std::to_string(code);
    }
}

std::string eventName(std::uint8_t event) {
    switch (event) {
        case a::EVENT_RX_SEARCH_TIMEOUT:
            return "EVENT_RX_SEARCH_TIMEOUT";
        case a::EVENT_RX_FAIL:
            return "EVENT_RX_FAIL";
        case a::EVENT_TX:
            return "EVENT_TX";
        case a::EVENT_TRANSFER_TX_COMPLETED:
            return "EVENT_TRANSFER_TX_COMPLETED";
        case a::EVENT_TRANSFER_TX_FAILED:
            return "EVENT_TRANSFER_TX_FAILED";
        case a::EVENT_CHANNEL_CLOSED:
            return "EVENT_CHANNEL_CLOSED";
        case a::EVENT_RX_FAIL_GO_TO_SEARCH:
            return "EVENT_RX_FAIL_GO_TO_SEARCH";
        case a::EVENT_TRANSFER_TX_START:
            return "EVENT_TRANSFER_TX_START";
        default:
            return "event " + std::to_string(event);
    }
}

SimConfig sanitized(SimConfig c) {
    c.stick.channels = std::clamp<std::uint8_t>(c.stick.channels, 1, a::BURST_CHANNEL_MASK + 1);
    c.stick.networks = std::clamp<std::uint8_t>(c.stick.networks, 1, 8);
    c.trainer.radio.period = std::max<std::uint16_t>(c.trainer.radio.period, 1);
    const Duration zero{0};
    c.stick.resetTime = std::max(c.stick.resetTime, zero);
    c.stick.ackTime = std::max(c.stick.ackTime, zero);
    c.stick.burstPacketTime = std::max(c.stick.burstPacketTime, zero);
    c.stick.burstHostSlack = std::max(c.stick.burstHostSlack, zero);
    c.trainer.restartTime = std::max(c.trainer.restartTime, zero);
    c.trainer.firstBroadcast = std::max(c.trainer.firstBroadcast, zero);
    return c;
}

}  // namespace

struct SimulatedStick::Impl {
    struct Burst {
        std::uint64_t epoch = 0;
        std::vector<Page> packets;  // handed by the program so far
        bool lastSeen = false;
        bool started = false;  // on the air
        std::size_t sent = 0;
        std::size_t failAfter = 0;  // fault: fail once this many are sent (0: never)
        bool starved = false;       // waiting for the program's next packet
        Duration starvedAt{};
    };

    struct Channel {
        ChannelState state = ChannelState::Unassigned;
        std::uint8_t type = 0;
        std::uint8_t network = 0;
        std::uint16_t deviceNumber = 0;
        std::uint8_t deviceType = 0;
        std::uint8_t transmissionType = 0;
        std::uint16_t period = 8192;
        std::uint8_t searchTimeout = 10;
        std::uint8_t rf = 66;
        std::uint64_t epoch = 0;    // changes on open, search, close: stale slots do nothing
        std::uint64_t txEpoch = 0;  // changes on close and reset: stale results do nothing
        unsigned misses = 0;
        std::optional<Page> txBroadcast;
        std::optional<Page> txAcked;
        bool ackInFlight = false;
        std::optional<Burst> burst;
        bool discardBurst = false;  // drop burst packets up to the next first packet
    };

    struct Air {
        Duration time{};
        Trainer::Transmission tx;
    };

    explicit Impl(SimConfig c)
        : config(sanitized(std::move(c))),
          rng(config.seed),
          trainer(config.trainer, config.faults, [this](const std::string& s) { trace(s); }) {
        for (std::uint8_t i = 0; i < config.stick.channels; ++i) {
            channels.push_back(newChannel());
        }
        networkKeys.assign(config.stick.networks, kPublicNetworkKey);
        startSeries(config.trainer.firstBroadcast);
        if (config.faults.disappear.kind == When::Kind::AtTime) {
            at(config.faults.disappear.at, kOther, [this] { trainer.disappear(); });
        }
        if (config.faults.stickVanishes.kind == When::Kind::AtTime) {
            at(config.faults.stickVanishes.at, kOther, [this] { vanish("at its time"); });
        }
    }

    // ------------------------------------------------------------ plumbing

    void trace(const std::string& line) {
        char stamp[32];
        std::snprintf(stamp, sizeof stamp, "[%10.3f] ", std::chrono::duration<double>(now).count());
        std::string full = stamp + line;
        if (traceSink) {
            traceSink(full);
        }
        traceLines.push_back(std::move(full));
        if (traceLines.size() > kMaxTraceLines) {
            traceLines.pop_front();
        }
    }

    void at(Duration t, int priority, std::function<void()> fn) {
        events.emplace(std::make_tuple(t, priority, eventSeq++), std::move(fn));
    }

    void advanceTo(Duration t) {
        while (!unplugged && !events.empty()) {
            auto it = events.begin();
            const Duration when = std::get<0>(it->first);
            if (when > t) {
                break;
            }
            std::function<void()> fn = std::move(it->second);
            events.erase(it);
            now = std::max(now, when);
            fn();
        }
        now = std::max(now, t);
    }

    Duration nextEventTime() const {
        if (unplugged || events.empty()) {
            return kForever;
        }
        return std::get<0>(events.begin()->first);
    }

    bool chance(double p) { return static_cast<double>(rng()) / 4294967296.0 < p; }

    void emit(std::uint8_t id, std::span<const std::uint8_t> payload) {
        if (unplugged) {
            return;
        }
        std::vector<std::uint8_t> frame = a::encodeFrame(id, payload);
        if (config.faults.lineGarbage > 0.0 && chance(config.faults.lineGarbage)) {
            const unsigned n = 1 + rng() % 8;
            for (unsigned i = 0; i < n; ++i) {
                outbox.push_back(static_cast<std::uint8_t>(rng()));
            }
            ++report.garbageBursts;
        }
        if (config.faults.lineCorrupt > 0.0 && chance(config.faults.lineCorrupt)) {
            frame.back() ^= static_cast<std::uint8_t>(1 + rng() % 255);
            ++report.corruptedFrames;
        }
        outbox.insert(outbox.end(), frame.begin(), frame.end());
        ++report.framesOut;
        report.bytesOut += frame.size();
    }

    void respond(std::uint8_t channel, std::uint8_t id, std::uint8_t code) {
        const std::uint8_t payload[] = {channel, id, code};
        emit(a::MESG_RESPONSE_EVENT_ID, payload);
        trace("stick: " + std::string(messageName(id)) + " on channel " + std::to_string(channel) +
              ": " + codeName(code));
    }

    void event(std::uint8_t channel, std::uint8_t code) {
        const std::uint8_t payload[] = {channel, a::MESG_EVENT_ID, code};
        emit(a::MESG_RESPONSE_EVENT_ID, payload);
        trace("stick: channel " + std::to_string(channel) + " " + eventName(code));
    }

    void vanish(const std::string& why) {
        if (!unplugged) {
            trace("stick: unplugged (" + why + ")");
            unplugged = true;
        }
    }

    // A page goes missing when its kind's pick or the Any pick takes it.
    bool dropPage(const std::map<PageKind, Pick>& knobs, std::map<PageKind, unsigned>& counts,
                  PageKind kind) {
        const unsigned nKind = ++counts[kind];
        const unsigned nAny = ++counts[PageKind::Any];
        bool dropped = false;
        if (const auto it = knobs.find(kind); it != knobs.end() && kind != PageKind::Any) {
            dropped = it->second.picks(nKind, rng) || dropped;
        }
        if (const auto it = knobs.find(PageKind::Any); it != knobs.end()) {
            dropped = it->second.picks(nAny, rng) || dropped;
        }
        return dropped;
    }

    Channel newChannel() {
        Channel c;
        c.epoch = ++epochs;
        c.txEpoch = ++epochs;
        return c;
    }

    static bool isOpen(const Channel& c) {
        return c.state == ChannelState::Searching || c.state == ChannelState::Tracking;
    }
    static bool isMaster(const Channel& c) { return (c.type & kTypeMaster) != 0; }

    bool findsTrainer(const Channel& c) const {
        const RadioParams& r = config.trainer.radio;
        const std::uint8_t wantType = c.deviceType & 0x7F;
        return !isMaster(c) && networkKeys[c.network] == r.networkKey && c.rf == r.rfFrequency &&
               c.period == r.period &&
               (c.deviceNumber == 0 || c.deviceNumber == config.trainer.deviceNumber) &&
               (wantType == 0 || wantType == (r.deviceType & 0x7F)) &&
               (c.transmissionType == 0 || c.transmissionType == r.transmissionType);
    }

    unsigned missLimit(const Channel& c) const {
        if (config.stick.missesBeforeSearch != 0) {
            return config.stick.missesBeforeSearch;
        }
        if (c.period >= 16384) {
            return 4;  // 2 Hz or slower: four messages
        }
        return (65536u + c.period - 1) / c.period;  // two seconds' worth
    }

    // ------------------------------------------------------------ the trainer on the air

    void startSeries(Duration t) {
        const std::uint64_t s = ++series;
        at(t, kTrainerSlot, [this, s, t] { trainerSlot(s, t); });
    }

    void trainerSlot(std::uint64_t s, Duration t) {
        if (s != series || trainer.silent()) {
            return;  // restarting or gone: this run of slots ends
        }
        const Duration next = t + periodDuration(config.trainer.radio.period);
        at(next, kTrainerSlot, [this, s, next] { trainerSlot(s, next); });
        air.reset();
        if (burstsToTrainer > 0) {
            return;  // it listens to a burst
        }
        const Trainer::Transmission tx = trainer.nextTransmission();
        if (dropPage(config.faults.dropFromTrainer, fromTrainerCount, tx.kind)) {
            trace("air: trainer's " + std::string(toString(tx.kind)) +
                  " lost: " + hexBytes(tx.page));
            return;
        }
        air = Air{t, tx};
        for (std::size_t i = 0; i < channels.size(); ++i) {
            Channel& c = channels[i];
            if (c.state == ChannelState::Searching && findsTrainer(c)) {
                c.state = ChannelState::Tracking;
                c.epoch = ++epochs;
                c.misses = 0;
                trace("stick: channel " + std::to_string(i) + " found the trainer");
                const auto ch = static_cast<std::uint8_t>(i);
                const std::uint64_t e = c.epoch;
                at(t, kChannelSlot, [this, ch, e, t] { channelSlot(ch, e, t); });
            }
        }
    }

    void restartTrainer(Duration t) {
        trainer.beginRestart();
        if (config.faults.stickVanishes.kind == When::Kind::AtProgramExit) {
            vanish("at program mode exit");
        }
        if (config.faults.disappear.kind == When::Kind::AtProgramExit) {
            trainer.disappear();
            return;
        }
        at(t + config.trainer.restartTime, kOther, [this] {
            if (!trainer.gone()) {
                trainer.finishRestart();
                startSeries(now);
            }
        });
    }

    void heardAcknowledged(const Page& page, Duration t) {
        const Trainer::Action action = trainer.onAcknowledged(page);
        const unsigned n = trainer.counters().requests;
        if (action == Trainer::Action::Restart) {
            restartTrainer(t);
        }
        if (config.faults.disappear.kind == When::Kind::AfterRequests &&
            config.faults.disappear.count == n) {
            trainer.disappear();
        }
        if (config.faults.stickVanishes.kind == When::Kind::AfterRequests &&
            config.faults.stickVanishes.count == n) {
            vanish("after request " + std::to_string(n));
        }
    }

    void heardBurst(std::span<const Page> packets) {
        const unsigned before = trainer.counters().blocksAccepted;
        trainer.onBurst(packets);
        const unsigned n = trainer.counters().blocksAccepted;
        if (n == before) {
            return;
        }
        if (config.faults.disappear.kind == When::Kind::AfterBlocks &&
            config.faults.disappear.count == n) {
            trainer.disappear();
        }
        if (config.faults.stickVanishes.kind == When::Kind::AfterBlocks &&
            config.faults.stickVanishes.count == n) {
            vanish("after block " + std::to_string(n));
        }
    }

    // ------------------------------------------------------------ slave channels

    void channelSlot(std::uint8_t ch, std::uint64_t e, Duration t) {
        Channel& c = channels[ch];
        if (c.epoch != e || c.state != ChannelState::Tracking) {
            return;
        }
        const Duration next = t + periodDuration(c.period);
        at(next, kChannelSlot, [this, ch, e, next] { channelSlot(ch, e, next); });
        if (c.burst && c.burst->started) {
            return;  // its burst holds the air
        }
        if (air && air->time == t && findsTrainer(c)) {
            c.misses = 0;
            const Page& p = air->tx.page;
            const std::uint8_t payload[] = {ch, p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7]};
            const std::uint8_t id =
                air->tx.acknowledged ? a::MESG_ACKNOWLEDGED_DATA_ID : a::MESG_BROADCAST_DATA_ID;
            emit(id, payload);
            trace("stick: channel " + std::to_string(ch) +
                  (air->tx.acknowledged ? " acknowledged " : " broadcast ") + hexBytes(p));
            transmitInSlot(ch, t);
            return;
        }
        if (++c.misses >= missLimit(c)) {
            c.state = ChannelState::Searching;
            c.epoch = ++epochs;
            c.misses = 0;
            event(ch, a::EVENT_RX_FAIL_GO_TO_SEARCH);
            startSearchTimeout(ch, t);
        } else {
            event(ch, a::EVENT_RX_FAIL);
        }
    }

    void startSearchTimeout(std::uint8_t ch, Duration t) {
        const Channel& c = channels[ch];
        if (c.searchTimeout == kInfiniteSearch) {
            return;
        }
        const std::uint64_t e = c.epoch;
        at(t + kSearchTimeoutUnit * c.searchTimeout, kOther, [this, ch, e] {
            Channel& cc = channels[ch];
            if (cc.epoch == e && cc.state == ChannelState::Searching) {
                closeChannel(ch, true);
            }
        });
    }

    void closeChannel(std::uint8_t ch, bool searchTimedOut) {
        Channel& c = channels[ch];
        bool failed = c.txAcked.has_value() || c.ackInFlight;
        c.txAcked.reset();
        c.ackInFlight = false;
        c.txBroadcast.reset();
        if (c.burst) {
            if (c.burst->started) {
                --burstsToTrainer;
                trainer.onBurstFailed();
            }
            c.burst.reset();
            failed = true;
        }
        c.discardBurst = false;
        c.state = ChannelState::Assigned;
        c.epoch = ++epochs;
        c.txEpoch = ++epochs;
        if (failed) {
            event(ch, a::EVENT_TRANSFER_TX_FAILED);
        }
        if (searchTimedOut) {
            event(ch, a::EVENT_RX_SEARCH_TIMEOUT);
        }
        event(ch, a::EVENT_CHANNEL_CLOSED);
    }

    // The slave's turn right after the master's message.
    void transmitInSlot(std::uint8_t ch, Duration t) {
        Channel& c = channels[ch];
        if ((c.type & kTypeOneWay) != 0) {
            return;  // receive-only
        }
        if (c.burst && !c.burst->started && !c.burst->packets.empty()) {
            startBurst(ch, t);
        } else if (c.txAcked) {
            sendAcknowledged(ch, t);
        } else if (c.txBroadcast) {
            const Page p = *c.txBroadcast;
            c.txBroadcast.reset();
            if (dropPage(config.faults.dropToTrainer, toTrainerCount, PageKind::Broadcast)) {
                trace("air: program's broadcast lost: " + hexBytes(p));
            } else {
                trainer.onBroadcast(p);
            }
        }
    }

    void sendAcknowledged(std::uint8_t ch, Duration t) {
        Channel& c = channels[ch];
        const Page p = *c.txAcked;
        c.txAcked.reset();
        c.ackInFlight = true;
        const std::uint64_t txEpoch = c.txEpoch;
        ++report.ackedSends;
        const PageKind kind = classifyProgramPage(p, true);
        const bool dropped = dropPage(config.faults.dropToTrainer, toTrainerCount, kind);
        const bool ackLost =
            config.faults.failAckedSends.picks(static_cast<unsigned>(report.ackedSends), rng);
        if (dropped) {
            trace("air: program's " + std::string(toString(kind)) + " lost: " + hexBytes(p));
        } else {
            if (ackLost) {
                trace("air: trainer's acknowledgement of the " + std::string(toString(kind)) +
                      " lost");
            }
            heardAcknowledged(p, t);
        }
        const bool ok = !dropped && !ackLost;
        at(t + config.stick.ackTime, kOther, [this, ch, txEpoch, ok] {
            Channel& cc = channels[ch];
            if (cc.txEpoch != txEpoch) {
                return;
            }
            cc.ackInFlight = false;
            event(ch, ok ? a::EVENT_TRANSFER_TX_COMPLETED : a::EVENT_TRANSFER_TX_FAILED);
        });
    }

    // ------------------------------------------------------------ bursts

    void startBurst(std::uint8_t ch, Duration t) {
        Burst& b = *channels[ch].burst;
        b.started = true;
        ++report.bursts;
        if (config.faults.failBursts.picks(static_cast<unsigned>(report.bursts), rng)) {
            b.failAfter = std::max<std::size_t>(1, b.packets.size() / 2);
        }
        ++burstsToTrainer;
        event(ch, a::EVENT_TRANSFER_TX_START);
        const std::uint64_t be = b.epoch;
        at(t, kOther, [this, ch, be] { burstPacket(ch, be); });
    }

    Burst* burstOf(std::uint8_t ch, std::uint64_t be) {
        Channel& c = channels[ch];
        return (c.burst && c.burst->epoch == be) ? &*c.burst : nullptr;
    }

    void burstPacket(std::uint8_t ch, std::uint64_t be) {
        Burst* b = burstOf(ch, be);
        if (b == nullptr) {
            return;
        }
        if (trainer.silent()) {
            failBurst(ch, "nobody acknowledges the packets");
            return;
        }
        if (b->sent < b->packets.size()) {
            ++b->sent;
            b->starved = false;
            if (b->failAfter != 0 && b->sent >= b->failAfter) {
                failBurst(ch, "fault knob: burst " + std::to_string(report.bursts) + " fails");
                return;
            }
            const Duration next = now + config.stick.burstPacketTime;
            if (b->lastSeen && b->sent == b->packets.size()) {
                at(next, kOther, [this, ch, be] { completeBurst(ch, be); });
            } else {
                at(next, kOther, [this, ch, be] { burstPacket(ch, be); });
            }
            return;
        }
        // The program has not handed the next packet yet.
        b->starved = true;
        b->starvedAt = now;
        const Duration since = now;
        at(now + config.stick.burstHostSlack, kOther, [this, ch, be, since] {
            Burst* bb = burstOf(ch, be);
            if (bb != nullptr && bb->starved && bb->starvedAt == since) {
                failBurst(ch, "the program handed the packets too slowly");
                channels[ch].discardBurst = true;
            }
        });
    }

    void completeBurst(std::uint8_t ch, std::uint64_t be) {
        Burst* b = burstOf(ch, be);
        if (b == nullptr) {
            return;
        }
        const std::vector<Page> packets = std::move(b->packets);
        channels[ch].burst.reset();
        --burstsToTrainer;
        event(ch, a::EVENT_TRANSFER_TX_COMPLETED);
        trace("air: burst of " + std::to_string(packets.size()) + " packets delivered");
        heardBurst(packets);
    }

    void failBurst(std::uint8_t ch, const std::string& why) {
        Channel& c = channels[ch];
        if (!c.burst) {
            return;
        }
        const bool started = c.burst->started;
        c.burst.reset();
        trace("stick: burst on channel " + std::to_string(ch) + " failed: " + why);
        if (started) {
            --burstsToTrainer;
            event(ch, a::EVENT_TRANSFER_TX_FAILED);
            trainer.onBurstFailed();
        }
    }

    void hostBurstPacket(const std::vector<std::uint8_t>& p) {
        const auto ch = static_cast<std::uint8_t>(p[0] & a::BURST_CHANNEL_MASK);
        const unsigned seq = (p[0] & a::BURST_SEQUENCE_MASK) >> a::BURST_SEQUENCE_SHIFT;
        const bool last = (p[0] & a::BURST_LAST_PACKET) != 0;
        if (ch >= channels.size()) {
            if (seq == 0) {
                respond(ch, a::MESG_BURST_DATA_ID, a::INVALID_MESSAGE);
            }
            return;
        }
        Channel& c = channels[ch];
        Page page;
        std::copy_n(p.begin() + 1, 8, page.begin());
        if (seq == 0) {
            if (!isOpen(c)) {
                respond(ch, a::MESG_BURST_DATA_ID, a::CHANNEL_NOT_OPENED);
                c.discardBurst = true;
                return;
            }
            if (c.txAcked || c.ackInFlight || c.burst) {
                // The transfer under way (or waiting for the master) stays.
                respond(ch, a::MESG_BURST_DATA_ID, a::TRANSFER_IN_PROGRESS);
                c.discardBurst = true;
                return;
            }
            c.discardBurst = false;
            c.txBroadcast.reset();
            c.burst = Burst{};
            c.burst->epoch = ++epochs;
            trace("host: burst on channel " + std::to_string(ch) + " begins");
        } else {
            if (c.discardBurst) {
                respond(ch, a::MESG_BURST_DATA_ID, a::TRANSFER_SEQUENCE_NUMBER_ERROR);
                return;
            }
            if (c.burst && c.burst->lastSeen) {
                // A stray packet after the last one: the whole burst stays.
                respond(ch, a::MESG_BURST_DATA_ID, a::TRANSFER_SEQUENCE_NUMBER_ERROR);
                return;
            }
            const unsigned expected =
                c.burst ? static_cast<unsigned>((c.burst->packets.size() - 1) % 3 + 1) : 0;
            if (!c.burst || seq != expected) {
                respond(ch, a::MESG_BURST_DATA_ID, a::TRANSFER_SEQUENCE_NUMBER_ERROR);
                failBurst(ch, "sequence " + std::to_string(seq) + " where " +
                                  (c.burst ? std::to_string(expected) : "a first packet") +
                                  " belongs");
                c.discardBurst = true;
                return;
            }
            if (c.burst->packets.size() >= kMaxBurstPackets) {
                respond(ch, a::MESG_BURST_DATA_ID, a::TRANSFER_IN_ERROR);
                failBurst(ch, "too long");
                c.discardBurst = true;
                return;
            }
        }
        Burst& b = *c.burst;
        b.packets.push_back(page);
        b.lastSeen = last;
        if (b.started && b.starved) {
            b.starved = false;
            const std::uint64_t be = b.epoch;
            at(now, kOther, [this, ch, be] { burstPacket(ch, be); });
        }
    }

    // ------------------------------------------------------------ master channels

    void masterSlot(std::uint8_t ch, std::uint64_t e, Duration t) {
        Channel& c = channels[ch];
        if (c.epoch != e || !isOpen(c)) {
            return;
        }
        const Duration next = t + std::max(periodDuration(c.period), kMinMasterPeriod);
        at(next, kChannelSlot, [this, ch, e, next] { masterSlot(ch, e, next); });
        if (c.burst) {
            c.burst.reset();  // a burst never starts on a master channel: no slave listens
            event(ch, a::EVENT_TRANSFER_TX_FAILED);
        } else if (c.txAcked) {
            c.txAcked.reset();
            event(ch, a::EVENT_TRANSFER_TX_FAILED);  // no slave acknowledges it
        } else {
            c.txBroadcast.reset();
            event(ch, a::EVENT_TX);
        }
    }

    // ------------------------------------------------------------ commands

    void reset() {
        ++report.resets;
        for (Channel& c : channels) {
            if (c.burst && c.burst->started) {
                trainer.onBurstFailed();
            }
            c = newChannel();
        }
        burstsToTrainer = 0;
        networkKeys.assign(config.stick.networks, kPublicNetworkKey);
        resetting = true;
        const std::uint64_t gen = ++resetGeneration;
        trace("host: reset");
        at(now + config.stick.resetTime, kOther, [this, gen] {
            if (gen != resetGeneration) {
                return;
            }
            resetting = false;
            const std::uint8_t payload[] = {kStartupCommandReset};
            emit(a::MESG_STARTUP_MESG_ID, payload);
            trace("stick: start-up message");
        });
    }

    // The channel a command names, or nullptr after answering INVALID_MESSAGE.
    Channel* channelFor(std::uint8_t ch, std::uint8_t id) {
        if (ch >= channels.size()) {
            respond(ch, id, a::INVALID_MESSAGE);
            return nullptr;
        }
        return &channels[ch];
    }

    void handleFrame(const a::Frame& f) {
        ++report.framesIn;
        const std::vector<std::uint8_t>& p = f.payload;
        const std::uint8_t first = p.empty() ? 0 : p[0];
        auto needs = [&](std::size_t n) {
            if (p.size() < n) {
                respond(first, f.id, a::INVALID_MESSAGE);
                return false;
            }
            return true;
        };
        if (f.id != a::MESG_BURST_DATA_ID && f.id != a::MESG_SYSTEM_RESET_ID) {
            trace("host: " + std::string(messageName(f.id)) + " " + hexBytes(p));
        }
        switch (f.id) {
            case a::MESG_SYSTEM_RESET_ID:
                reset();
                return;
            case a::MESG_NETWORK_KEY_ID:
                if (needs(9)) {
                    if (first >= networkKeys.size()) {
                        respond(first, f.id, a::INVALID_NETWORK_NUMBER);
                    } else {
                        std::copy_n(p.begin() + 1, 8, networkKeys[first].begin());
                        respond(first, f.id, a::RESPONSE_NO_ERROR);
                    }
                }
                return;
            case a::MESG_ASSIGN_CHANNEL_ID:
                if (needs(3)) {
                    assign(first, p[1], p[2]);
                }
                return;
            case a::MESG_UNASSIGN_CHANNEL_ID:
                if (needs(1)) {
                    if (Channel* c = channelFor(first, f.id)) {
                        if (c->state != ChannelState::Assigned) {
                            respond(first, f.id, a::CHANNEL_IN_WRONG_STATE);
                        } else {
                            *c = newChannel();
                            respond(first, f.id, a::RESPONSE_NO_ERROR);
                        }
                    }
                }
                return;
            case a::MESG_CHANNEL_ID_ID:
                if (needs(5)) {
                    configure(f.id, first, [&](Channel& c) {
                        c.deviceNumber = static_cast<std::uint16_t>(p[1] | (p[2] << 8));
                        c.deviceType = p[3];
                        c.transmissionType = p[4];
                        return true;
                    });
                }
                return;
            case a::MESG_CHANNEL_MESG_PERIOD_ID:
                if (needs(3)) {
                    configure(f.id, first, [&](Channel& c) {
                        const auto period = static_cast<std::uint16_t>(p[1] | (p[2] << 8));
                        if (period == 0) {
                            return false;
                        }
                        c.period = period;
                        return true;
                    });
                }
                return;
            case a::MESG_CHANNEL_SEARCH_TIMEOUT_ID:
                if (needs(2)) {
                    configure(f.id, first, [&](Channel& c) {
                        c.searchTimeout = p[1];
                        return true;
                    });
                }
                return;
            case a::MESG_CHANNEL_RADIO_FREQ_ID:
                if (needs(2)) {
                    configure(f.id, first, [&](Channel& c) {
                        if (p[1] > kMaxRfFrequency) {
                            return false;
                        }
                        c.rf = p[1];
                        return true;
                    });
                }
                return;
            case a::MESG_OPEN_CHANNEL_ID:
                if (needs(1)) {
                    open(first);
                }
                return;
            case a::MESG_CLOSE_CHANNEL_ID:
                if (needs(1)) {
                    if (Channel* c = channelFor(first, f.id)) {
                        if (c->state == ChannelState::Unassigned) {
                            respond(first, f.id, a::CHANNEL_IN_WRONG_STATE);
                        } else if (c->state == ChannelState::Assigned) {
                            respond(first, f.id, a::CHANNEL_NOT_OPENED);
                        } else {
                            respond(first, f.id, a::RESPONSE_NO_ERROR);
                            closeChannel(first, false);
                        }
                    }
                }
                return;
            case a::MESG_REQUEST_ID:
                if (needs(2)) {
                    request(first, p[1]);
                }
                return;
            case a::MESG_BROADCAST_DATA_ID:
            case a::MESG_ACKNOWLEDGED_DATA_ID:
                if (needs(9)) {
                    hostData(f.id, p);
                }
                return;
            case a::MESG_BURST_DATA_ID:
                if (needs(9)) {
                    hostBurstPacket(p);
                }
                return;
            default:
                respond(0, f.id, a::INVALID_MESSAGE);
                return;
        }
    }

    void assign(std::uint8_t ch, std::uint8_t type, std::uint8_t network) {
        Channel* c = channelFor(ch, a::MESG_ASSIGN_CHANNEL_ID);
        if (c == nullptr) {
            return;
        }
        if (network >= networkKeys.size()) {
            respond(ch, a::MESG_ASSIGN_CHANNEL_ID, a::INVALID_NETWORK_NUMBER);
        } else if (c->state != ChannelState::Unassigned) {
            respond(ch, a::MESG_ASSIGN_CHANNEL_ID, a::CHANNEL_IN_WRONG_STATE);
        } else {
            *c = newChannel();
            c->state = ChannelState::Assigned;
            c->type = type;
            c->network = network;
            respond(ch, a::MESG_ASSIGN_CHANNEL_ID, a::RESPONSE_NO_ERROR);
        }
    }

    template <typename Set>
    void configure(std::uint8_t id, std::uint8_t ch, Set set) {
        Channel* c = channelFor(ch, id);
        if (c == nullptr) {
            return;
        }
        if (c->state == ChannelState::Unassigned) {
            respond(ch, id, a::CHANNEL_IN_WRONG_STATE);
        } else if (!set(*c)) {
            respond(ch, id, a::INVALID_PARAMETER_PROVIDED);
        } else {
            respond(ch, id, a::RESPONSE_NO_ERROR);
        }
    }

    void open(std::uint8_t ch) {
        Channel* c = channelFor(ch, a::MESG_OPEN_CHANNEL_ID);
        if (c == nullptr) {
            return;
        }
        if (c->state != ChannelState::Assigned) {
            respond(ch, a::MESG_OPEN_CHANNEL_ID, a::CHANNEL_IN_WRONG_STATE);
            return;
        }
        respond(ch, a::MESG_OPEN_CHANNEL_ID, a::RESPONSE_NO_ERROR);
        c->epoch = ++epochs;
        c->misses = 0;
        const std::uint64_t e = c->epoch;
        if (isMaster(*c)) {
            c->state = ChannelState::Tracking;
            const Duration first = now + std::max(periodDuration(c->period), kMinMasterPeriod);
            at(first, kChannelSlot, [this, ch, e, first] { masterSlot(ch, e, first); });
        } else {
            c->state = ChannelState::Searching;
            startSearchTimeout(ch, now);
        }
    }

    void request(std::uint8_t ch, std::uint8_t what) {
        switch (what) {
            case kMesgCapabilitiesId: {
                const std::uint8_t caps[] = {
                    config.stick.channels, config.stick.networks, 0, 0, 0, 0};
                emit(kMesgCapabilitiesId, caps);
                return;
            }
            case kMesgVersionId: {
                const std::uint8_t version[] = {'S', 'I', 'M', '1', '.', '0', '0', 0};
                emit(kMesgVersionId, version);
                return;
            }
            case kMesgSerialNumberId: {
                const std::uint8_t serial[] = {0x46, 0x4F, 0x54, 0x41};
                emit(kMesgSerialNumberId, serial);
                return;
            }
            case kMesgChannelStatusId:
                if (Channel* c = channelFor(ch, a::MESG_REQUEST_ID)) {
                    const auto status =
                        static_cast<std::uint8_t>(static_cast<unsigned>(c->state) |
                                                  ((c->network & 0x03) << 2) | (c->type & 0xF0));
                    const std::uint8_t payload[] = {ch, status};
                    emit(kMesgChannelStatusId, payload);
                }
                return;
            case a::MESG_CHANNEL_ID_ID:
                if (Channel* c = channelFor(ch, a::MESG_REQUEST_ID)) {
                    const std::uint8_t payload[] = {ch, static_cast<std::uint8_t>(c->deviceNumber),
                                                    static_cast<std::uint8_t>(c->deviceNumber >> 8),
                                                    c->deviceType, c->transmissionType};
                    emit(a::MESG_CHANNEL_ID_ID, payload);
                }
                return;
            default:
                respond(ch, a::MESG_REQUEST_ID, a::INVALID_MESSAGE);
                return;
        }
    }

    void hostData(std::uint8_t id, const std::vector<std::uint8_t>& p) {
        const std::uint8_t ch = p[0];
        Channel* c = channelFor(ch, id);
        if (c == nullptr) {
            return;
        }
        if (!isOpen(*c)) {
            respond(ch, id, a::CHANNEL_NOT_OPENED);
            return;
        }
        if (c->txAcked || c->ackInFlight || c->burst) {
            respond(ch, id, a::TRANSFER_IN_PROGRESS);
            return;
        }
        Page page;
        std::copy_n(p.begin() + 1, 8, page.begin());
        if (id == a::MESG_ACKNOWLEDGED_DATA_ID) {
            c->txAcked = page;
            c->txBroadcast.reset();
        } else {
            c->txBroadcast = page;
        }
    }

    void onHostBytes(std::span<const std::uint8_t> bytes, Duration t) {
        advanceTo(t);
        if (unplugged) {
            return;
        }
        const a::FrameDecoder::Stats before = decoder.stats();
        decoder.feed(bytes, [&](const a::Frame& f) {
            if (!resetting && !unplugged) {
                handleFrame(f);
            }
        });
        const a::FrameDecoder::Stats& after = decoder.stats();
        const std::uint64_t badSums = after.badChecksums - before.badChecksums;
        const std::uint64_t badLengths = after.badLengths - before.badLengths;
        report.badFramesIn += badSums + badLengths;
        if (resetting) {
            return;
        }
        std::size_t errors = 0;
        for (std::uint64_t i = 0; i < badSums && errors < kMaxSerialErrorsPerRead; ++i, ++errors) {
            const std::uint8_t payload[] = {kSerialErrorChecksum};
            emit(a::MESG_SERIAL_ERROR_ID, payload);
        }
        for (std::uint64_t i = 0; i < badLengths && errors < kMaxSerialErrorsPerRead;
             ++i, ++errors) {
            const std::uint8_t payload[] = {kSerialErrorTooLarge};
            emit(a::MESG_SERIAL_ERROR_ID, payload);
        }
        if (errors > 0) {
            trace("stick: serial error for " + std::to_string(badSums + badLengths) +
                  " bad message(s)");
        }
    }

    StickReport makeReport() const {
        StickReport r = report;
        r.unplugged = unplugged;
        r.channels.clear();
        for (const Channel& c : channels) {
            r.channels.push_back({c.state, c.type, c.deviceNumber, c.rf, c.period});
        }
        return r;
    }

    SimConfig config;
    std::mt19937 rng;
    Trainer trainer;
    a::FrameDecoder decoder;
    std::vector<Channel> channels;
    std::vector<std::array<std::uint8_t, 8>> networkKeys;

    std::multimap<std::tuple<Duration, int, std::uint64_t>, std::function<void()>> events;
    std::uint64_t eventSeq = 0;
    std::uint64_t epochs = 0;
    Duration now{0};

    std::uint64_t series = 0;  // the trainer's current run of slots
    std::optional<Air> air;    // what the trainer sent in its latest slot
    unsigned burstsToTrainer = 0;
    std::map<PageKind, unsigned> toTrainerCount;
    std::map<PageKind, unsigned> fromTrainerCount;

    bool resetting = false;
    std::uint64_t resetGeneration = 0;
    bool unplugged = false;

    std::vector<std::uint8_t> outbox;
    std::deque<std::string> traceLines;
    std::function<void(const std::string&)> traceSink;
    StickReport report;
};

// ---------------------------------------------------------------- SimulatedStick

SimulatedStick::SimulatedStick(SimConfig config)
    : impl_(std::make_unique<Impl>(std::move(config))) {}

SimulatedStick::~SimulatedStick() = default;

void SimulatedStick::onHostBytes(std::span<const std::uint8_t> bytes, Duration now) {
    std::lock_guard lock(mutex_);
    impl_->onHostBytes(bytes, now);
}

void SimulatedStick::advanceTo(Duration now) {
    std::lock_guard lock(mutex_);
    impl_->advanceTo(now);
}

Duration SimulatedStick::nextEventTime() const {
    std::lock_guard lock(mutex_);
    return impl_->nextEventTime();
}

std::vector<std::uint8_t> SimulatedStick::takeOutput() {
    std::lock_guard lock(mutex_);
    std::vector<std::uint8_t> out;
    out.swap(impl_->outbox);
    return out;
}

bool SimulatedStick::unplugRequested() const {
    std::lock_guard lock(mutex_);
    return impl_->unplugged;
}

void SimulatedStick::onLineLost(Duration now) {
    std::lock_guard lock(mutex_);
    impl_->advanceTo(now);
    impl_->trace("stick: the line to the program is gone");
}

void SimulatedStick::onLineClosed(Duration now) {
    std::lock_guard lock(mutex_);
    impl_->advanceTo(now);
    impl_->trace("stick: the program closed the line");
}

std::vector<std::string> SimulatedStick::trace() const {
    std::lock_guard lock(mutex_);
    return {impl_->traceLines.begin(), impl_->traceLines.end()};
}

void SimulatedStick::setTraceSink(std::function<void(const std::string&)> sink) {
    std::lock_guard lock(mutex_);
    impl_->traceSink = std::move(sink);
}

TrainerReport SimulatedStick::trainer() const {
    std::lock_guard lock(mutex_);
    return impl_->trainer.report();
}

StickReport SimulatedStick::stick() const {
    std::lock_guard lock(mutex_);
    return impl_->makeReport();
}

const SimConfig& SimulatedStick::config() const {
    return impl_->config;  // never changes after construction
}

}  // namespace fota::sim
