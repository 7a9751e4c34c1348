#pragma once
// Drives a simulated stick with hand-built ANT messages on a VirtualClock, as
// the program's ANT library would, and reads what the stick answers.

#include <gtest/gtest.h>

#include <array>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "antlink/ANTDEFINES.h"
#include "antlink/AntFrame.h"
#include "antlink/InProcessTransport.h"
#include "image/DemoHeader.h"
#include "image/UFirmware.h"
#include "platform/Clock.h"
#include "sim/Simulator.h"

namespace fota::sim::testing {

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

inline Duration P() {
    return periodDuration(31814);
}

struct Received {
    Duration time{};
    ant::Frame frame;
};

inline bool isResponse(const ant::Frame& f, std::uint8_t id, std::uint8_t code,
                       std::uint8_t channel = 0) {
    return f.id == ant::MESG_RESPONSE_EVENT_ID && f.payload == Bytes{channel, id, code};
}
inline bool isEvent(const ant::Frame& f, std::uint8_t code, std::uint8_t channel = 0) {
    return isResponse(f, ant::MESG_EVENT_ID, code, channel);
}
inline bool isAnyEvent(const ant::Frame& f) {
    return f.id == ant::MESG_RESPONSE_EVENT_ID && f.payload.size() == 3 &&
           f.payload[1] == ant::MESG_EVENT_ID;
}
// A page from the trainer (0x4E or 0x4F) whose byte 0 is `first` (any when empty).
inline bool isPage(const ant::Frame& f, std::uint8_t id, std::optional<std::uint8_t> first = {}) {
    return f.id == id && f.payload.size() == 9 && (!first || f.payload[1] == *first);
}
inline Page pageOf(const ant::Frame& f) {
    Page p{};
    std::copy_n(f.payload.begin() + 1, 8, p.begin());
    return p;
}

// The channel the program opens, as it configures it for a "Mova" trainer.
struct ChannelSetup {
    std::uint8_t type = 0x00;
    std::uint16_t deviceNumber = 1234;
    std::uint8_t deviceType = 19;
    std::uint8_t transmissionType = 1;
    std::uint16_t period = 31814;
    std::uint8_t searchTimeout = 15;
    std::uint8_t rf = 71;
    std::array<std::uint8_t, 8> key{};
};

class Host {
public:
    explicit Host(SimConfig config = {})
        : line(clock), program(line.programEnd()), sim(clock, line, std::move(config)) {}

    void sendRaw(const Bytes& bytes) { ASSERT_TRUE(program->write(bytes)); }
    void send(std::uint8_t id, const Bytes& payload) { sendRaw(ant::encodeFrame(id, payload)); }
    void sendAcked(const Page& page, std::uint8_t ch = 0) {
        send(ant::MESG_ACKNOWLEDGED_DATA_ID,
             {ch, page[0], page[1], page[2], page[3], page[4], page[5], page[6], page[7]});
    }
    // Burst packets with the given channel bytes (sequence and last bits included).
    void sendBurst(const std::vector<Page>& packets, const Bytes& channelBytes) {
        Bytes all;
        for (std::size_t i = 0; i < packets.size(); ++i) {
            Bytes payload{channelBytes[i]};
            payload.insert(payload.end(), packets[i].begin(), packets[i].end());
            const Bytes frame = ant::encodeFrame(ant::MESG_BURST_DATA_ID, payload);
            all.insert(all.end(), frame.begin(), frame.end());
        }
        sendRaw(all);
    }
    // Burst packets numbered as ANT wants them: 0, 1, 2, 3, 1, 2, 3, ... and bit 7 on the last.
    void sendBurst(const std::vector<Page>& packets, std::uint8_t ch = 0) {
        sendBurst(packets, sequence(packets.size(), ch));
    }
    static Bytes sequence(std::size_t n, std::uint8_t ch = 0) {
        Bytes out;
        for (std::size_t i = 0; i < n; ++i) {
            const unsigned seq = i == 0 ? 0 : static_cast<unsigned>((i - 1) % 3 + 1);
            out.push_back(static_cast<std::uint8_t>(ch | (seq << 5) | (i + 1 == n ? 0x80 : 0)));
        }
        return out;
    }

    // Reads until a frame matches (consumed frames go to `seen`), or the
    // clock has run for `timeout`.
    std::optional<Received> waitFor(const std::function<bool(const ant::Frame&)>& match,
                                    Duration timeout) {
        const Duration deadline = clock.now() + timeout;
        for (;;) {
            while (!pending_.empty()) {
                Received r = std::move(pending_.front());
                pending_.pop_front();
                seen.push_back(r);
                if (match(r.frame)) {
                    return r;
                }
            }
            if (!readOnce(deadline)) {
                return std::nullopt;
            }
        }
    }
    // Everything the stick sends until clock time t (absolute).
    std::vector<Received> runUntil(Duration t) {
        while (readOnce(t)) {
        }
        std::vector<Received> out(pending_.begin(), pending_.end());
        pending_.clear();
        seen.insert(seen.end(), out.begin(), out.end());
        return out;
    }
    std::vector<Received> runFor(Duration d) { return runUntil(clock.now() + d); }

    // reset, start-up message, then the program's configuration sequence;
    // true when every command was answered with code 0.
    bool openChannel(const ChannelSetup& s = {}) {
        send(ant::MESG_SYSTEM_RESET_ID, {0});
        if (!waitFor([](const ant::Frame& f) { return f.id == ant::MESG_STARTUP_MESG_ID; }, 1s)) {
            return false;
        }
        const std::vector<std::pair<std::uint8_t, Bytes>> commands = {
            {ant::MESG_NETWORK_KEY_ID,
             {0, s.key[0], s.key[1], s.key[2], s.key[3], s.key[4], s.key[5], s.key[6], s.key[7]}},
            {ant::MESG_ASSIGN_CHANNEL_ID, {0, s.type, 0}},
            {ant::MESG_CHANNEL_ID_ID,
             {0, static_cast<std::uint8_t>(s.deviceNumber & 0xFF),
              static_cast<std::uint8_t>(s.deviceNumber >> 8), s.deviceType, s.transmissionType}},
            {ant::MESG_CHANNEL_MESG_PERIOD_ID,
             {0, static_cast<std::uint8_t>(s.period & 0xFF),
              static_cast<std::uint8_t>(s.period >> 8)}},
            {ant::MESG_CHANNEL_SEARCH_TIMEOUT_ID, {0, s.searchTimeout}},
            {ant::MESG_CHANNEL_RADIO_FREQ_ID, {0, s.rf}},
            {ant::MESG_OPEN_CHANNEL_ID, {0}},
        };
        for (const auto& [id, payload] : commands) {
            send(id, payload);
            const std::uint8_t want = id;
            const auto r = waitFor(
                [&](const ant::Frame& f) {
                    return f.id == ant::MESG_RESPONSE_EVENT_ID && f.payload.size() == 3 &&
                           f.payload[1] == want;
                },
                1s);
            if (!r || r->frame.payload[2] != ant::RESPONSE_NO_ERROR) {
                return false;
            }
        }
        openedAt = clock.now();
        return true;
    }
    // openChannel and the first page from the trainer.
    bool openAndSync(const ChannelSetup& s = {}) {
        return openChannel(s) &&
               waitFor([](const ant::Frame& f) { return isPage(f, ant::MESG_BROADCAST_DATA_ID); },
                       3s)
                   .has_value();
    }

    // An acknowledged request: the transmit result, and the trainer's reply
    // (an acknowledged page) when one comes within three periods.
    struct Exchange {
        std::optional<Received> result;  // EVENT_TRANSFER_TX_COMPLETED or _FAILED
        std::optional<Received> reply;
    };
    Exchange request(const Page& page) {
        Exchange x;
        sendAcked(page);
        x.result = waitFor(
            [](const ant::Frame& f) {
                return isEvent(f, ant::EVENT_TRANSFER_TX_COMPLETED) ||
                       isEvent(f, ant::EVENT_TRANSFER_TX_FAILED);
            },
            10s);
        x.reply = waitFor(
            [](const ant::Frame& f) { return isPage(f, ant::MESG_ACKNOWLEDGED_DATA_ID); }, 3 * P());
        return x;
    }
    // A burst and its result event (after EVENT_TRANSFER_TX_START).
    std::optional<Received> burst(const std::vector<Page>& packets) {
        sendBurst(packets);
        return waitFor(
            [](const ant::Frame& f) {
                return isEvent(f, ant::EVENT_TRANSFER_TX_COMPLETED) ||
                       isEvent(f, ant::EVENT_TRANSFER_TX_FAILED);
            },
            10s);
    }

    bool lineFailed() const { return lineFailed_; }
    const Bytes& raw() const { return raw_; }
    const ant::FrameDecoder::Stats& decoderStats() const { return decoder_.stats(); }

    VirtualClock clock;
    ant::InProcessLine line;
    std::unique_ptr<ant::ByteTransport> program;
    Simulator sim;
    std::vector<Received> seen;
    Duration openedAt{};

private:
    bool readOnce(Duration deadline) {
        std::array<std::uint8_t, 2048> buf{};
        const long n = program->read(buf, {}, deadline);
        if (n < 0) {
            lineFailed_ = true;
            return false;
        }
        if (n == 0) {
            return false;
        }
        const std::span<const std::uint8_t> got(buf.data(), static_cast<std::size_t>(n));
        raw_.insert(raw_.end(), got.begin(), got.end());
        decoder_.feed(got, [&](const ant::Frame& f) { pending_.push_back({clock.now(), f}); });
        return true;
    }

    ant::FrameDecoder decoder_;
    std::deque<Received> pending_;
    Bytes raw_;
    bool lineFailed_ = false;
};

// ---------------------------------------------------------------- pages and images

inline Page versionRequest() {
    return {0x11, 0, 0, 0, 0, 0, 0, 0x11};
}
inline Page unitTypeRequest() {
    return {0x02, 0x10, 0x00, 0x01, 0, 0, 0, 0x02};
}
inline Page zeroPositionRead() {
    return {0x02, 0x1D, 0x00, 0x01, 0, 0, 0, 0};
}
inline Page zeroPositionWrite(std::uint8_t z) {
    return {0x03, 0x1D, 0x00, 0x01, z, 0, 0, 0};
}
inline Page programStart(std::uint32_t bytes) {
    return {0x10,
            static_cast<std::uint8_t>(bytes >> 16),
            static_cast<std::uint8_t>(bytes >> 8),
            static_cast<std::uint8_t>(bytes),
            0,
            0,
            0,
            0x10};
}
inline Page blockAckRequest(std::uint16_t address) {
    return {0x13,
            static_cast<std::uint8_t>(address >> 8),
            static_cast<std::uint8_t>(address),
            0,
            0,
            0,
            0,
            0x13};
}
inline Page programExit() {
    return {0x14, 0x01, 0, 0, 0, 0, 0, 0x14};
}

// The packet group of one block: header 12 size address crc 12, then the bytes.
inline std::vector<Page> packetGroup(std::uint16_t address, const Bytes& bytes) {
    const std::uint16_t crc = BlockCrc(bytes);
    std::vector<Page> out;
    out.push_back({0x12, static_cast<std::uint8_t>(bytes.size() >> 8),
                   static_cast<std::uint8_t>(bytes.size()), static_cast<std::uint8_t>(address >> 8),
                   static_cast<std::uint8_t>(address), static_cast<std::uint8_t>(crc >> 8),
                   static_cast<std::uint8_t>(crc), 0x12});
    for (std::size_t i = 0; i < bytes.size(); i += 8) {
        Page p{};
        for (std::size_t k = 0; k < 8 && i + k < bytes.size(); ++k) {
            p[k] = bytes[i + k];
        }
        out.push_back(p);
    }
    return out;
}

// A small demo image: its identification header and `payload` bytes.
inline Bytes demoImage(DemoHeader header, std::size_t payload) {
    Bytes body(payload);
    for (std::size_t i = 0; i < payload; ++i) {
        body[i] = static_cast<std::uint8_t>(i * 7 + 3);
    }
    header.imageSize = static_cast<std::uint32_t>(kDemoHeaderSize + payload);
    header.payloadCrc = Crc32(body);
    const auto head = EncodeDemoHeader(header);
    Bytes image(head.begin(), head.end());
    image.insert(image.end(), body.begin(), body.end());
    return image;
}
inline DemoHeader firmwareHeader() {
    DemoHeader h;
    h.name = "FW_WEK_128";
    h.model = "WEK";
    h.controller = ControllerClass::C128;
    h.version = 118;
    h.subVersion = 86;
    h.unitType = 17;
    return h;
}
inline DemoHeader bootloaderHeader() {
    DemoHeader h;
    h.name = "BOOTLOADER64";
    h.model = "BOOT";
    h.controller = ControllerClass::C64;
    h.version = 1;
    h.subVersion = 85;
    return h;
}

// The image cut into blocks of `blockSize` bytes from `address` on.
inline BlockList blocksOf(const Bytes& image, std::size_t blockSize = 64,
                          std::uint16_t address = 0x1000) {
    BlockList out;
    for (std::size_t i = 0; i < image.size(); i += blockSize) {
        const std::size_t n = std::min(blockSize, image.size() - i);
        out.emplace_back(
            static_cast<std::uint16_t>(address + i),
            Bytes(image.begin() + static_cast<long>(i), image.begin() + static_cast<long>(i + n)));
    }
    return out;
}

}  // namespace fota::sim::testing
