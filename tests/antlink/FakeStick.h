#pragma once
// A scripted ANT stick on the stick end of an InProcessLine (or any line),
// for tests of the library: it decodes what the library sends, keeps it, and answers a reset
// with a start-up message, a capabilities request with capabilities and each
// configuration command with a "no error" response, each when told to.

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "antlink/ANTDEFINES.h"
#include "antlink/AntFrame.h"
#include "antlink/InProcessTransport.h"
#include "platform/Clock.h"

namespace fota::ant::testing {

using Bytes = std::vector<std::uint8_t>;

class FakeStick {
public:
    struct Script {
        bool answerReset = true;      // start-up message 0x6F, reason 0x20 (command reset)
        bool answerRequests = false;  // capabilities 0x54 for a request 0x4D
        bool answerCommands = true;   // 0x40 [channel, id, 0] for each configuration command
    };

    FakeStick(Clock& clock, InProcessLine& line) : FakeStick(clock, line.stickEnd(), Script()) {}
    FakeStick(Clock& clock, InProcessLine& line, Script script)
        : FakeStick(clock, line.stickEnd(), script) {}
    // On any stick-side line (the master side of a pty, for instance).
    FakeStick(Clock& clock, std::unique_ptr<ByteTransport> end)
        : FakeStick(clock, std::move(end), Script()) {}
    FakeStick(Clock& clock, std::unique_ptr<ByteTransport> end, Script script)
        : clock_(clock),
          end_(std::move(end)),
          script_(script),
          thread_(clock, "fake-stick", [this](std::stop_token stop) { run(stop); }) {}

    ~FakeStick() {
        thread_.requestStop();
        thread_.join();
    }

    // What the stick sends to the program.
    void send(std::uint8_t id, const Bytes& payload) { sendRaw(encodeFrame(id, payload)); }
    void sendRaw(const Bytes& bytes) { end_->write(bytes); }

    std::vector<Frame> frames() const {
        std::lock_guard lock(mutex_);
        return frames_;
    }
    std::size_t frameCount() const {
        std::lock_guard lock(mutex_);
        return frames_.size();
    }
    Bytes bytes() const {
        std::lock_guard lock(mutex_);
        return bytes_;
    }
    FrameDecoder::Stats decoderStats() const {
        std::lock_guard lock(mutex_);
        return decoder_.stats();
    }
    void clear() {
        std::lock_guard lock(mutex_);
        frames_.clear();
        bytes_.clear();
    }
    // True once the line failed or closed under the stick.
    bool ended() const { return ended_; }

private:
    void run(std::stop_token stop) {
        std::uint8_t buffer[64];
        for (;;) {
            const long n = end_->read(buffer, stop);
            if (n < 0) {
                ended_ = true;
                clock_.notify();
                return;
            }
            if (n == 0) {
                return;  // stop requested
            }
            std::vector<Frame> got;
            {
                std::lock_guard lock(mutex_);
                bytes_.insert(bytes_.end(), buffer, buffer + n);
                decoder_.feed(std::span(buffer, static_cast<std::size_t>(n)),
                              [&](const Frame& f) { got.push_back(f); });
                frames_.insert(frames_.end(), got.begin(), got.end());
            }
            for (const Frame& f : got) {
                answer(f);
            }
            clock_.notify();
        }
    }

    void answer(const Frame& f) {
        const std::uint8_t channel = f.payload.empty() ? 0 : f.payload[0];
        switch (f.id) {
            case MESG_SYSTEM_RESET_ID:
                if (script_.answerReset) {
                    send(MESG_STARTUP_MESG_ID, {0x20});
                }
                break;
            case MESG_REQUEST_ID:
                if (script_.answerRequests) {
                    send(0x54, {0x08, 0x03, 0x00, 0x00, 0x00, 0x00});
                }
                break;
            case MESG_NETWORK_KEY_ID:
            case MESG_ASSIGN_CHANNEL_ID:
            case MESG_CHANNEL_ID_ID:
            case MESG_CHANNEL_MESG_PERIOD_ID:
            case MESG_CHANNEL_SEARCH_TIMEOUT_ID:
            case MESG_CHANNEL_RADIO_FREQ_ID:
            case MESG_OPEN_CHANNEL_ID:
                if (script_.answerCommands) {
                    send(MESG_RESPONSE_EVENT_ID, {channel, f.id, RESPONSE_NO_ERROR});
                }
                break;
            default:
                break;
        }
    }

    Clock& clock_;
    std::unique_ptr<ByteTransport> end_;
    Script script_;
    mutable std::mutex mutex_;
    FrameDecoder decoder_;
    std::vector<Frame> frames_;
    Bytes bytes_;
    std::atomic<bool> ended_{false};
    ClockThread thread_;  // last: starts once everything above exists
};

}  // namespace fota::ant::testing
