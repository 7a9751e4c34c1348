#pragma once
// The ANT library over a byte line: speaks the ANT serial message protocol to
// a USB stick (serial port or libusb) or to the simulator (in-process line).
//
// Threads. A reader thread (a ClockThread on the library's clock) decodes what
// the stick sends and calls the callbacks (see AntDispatcher for what each
// callback is given). Sends may come from any thread: each whole message is
// written under one lock, and a burst's packets are written as one piece under
// it, so nothing another thread sends can land inside a message or between the
// packets of a burst (a stick takes that poorly).
//
// A vanished stick (the line fails on read or write) ends the reader, makes
// stickLost() true, calls the stick-lost handler once and makes every send
// return FALSE at once; nothing waits for the stick.
//
// ANT_Init and ANT_Close belong to one thread (the UI thread); ANT_Init waits
// through the clock, so under a VirtualClock it must be called from an
// enrolled thread.

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>

#include "antlink/ANTCommands.h"
#include "antlink/AntDispatcher.h"
#include "antlink/AntFrame.h"
#include "antlink/TransportOpener.h"
#include "platform/Clock.h"

namespace fota::ant {

class AntSerialLibrary final : public AntLibrary {
public:
    // How long ANT_Init waits for the stick's start-up message after the
    // reset, and again for an answer to a capabilities request when a stick
    // sends no start-up message.
    static constexpr Duration kAnswerTimeout = std::chrono::seconds(1);

    AntSerialLibrary(Clock& clock, TransportOpener opener);
    ~AntSerialLibrary() override;

    BOOL ANT_Init(UCHAR usbDeviceNum, ULONG baudrate, UCHAR portType, UCHAR frameType) override;
    void ANT_AssignResponseFunction(ResponseFunc func, UCHAR* responseBuffer) override;
    void ANT_AssignChannelEventFunction(UCHAR channel, ChannelEventFunc func,
                                        UCHAR* rxBuffer) override;
    BOOL ANT_ResetSystem() override;
    BOOL ANT_SetNetworkKey(UCHAR net, const UCHAR* key8) override;
    BOOL ANT_AssignChannel(UCHAR channel, UCHAR channelType, UCHAR net) override;
    BOOL ANT_SetChannelId(UCHAR channel, USHORT deviceNumber, UCHAR deviceType,
                          UCHAR transmissionType) override;
    BOOL ANT_SetChannelPeriod(UCHAR channel, USHORT period) override;
    BOOL ANT_SetChannelSearchTimeout(UCHAR channel, UCHAR timeout) override;
    BOOL ANT_SetChannelRFFreq(UCHAR channel, UCHAR rfFrequency) override;
    BOOL ANT_OpenChannel(UCHAR channel) override;
    BOOL ANT_SendAcknowledgedData(UCHAR channel, const UCHAR* data8) override;
    BOOL ANT_SendBroadcastData(UCHAR channel, const UCHAR* data8) override;
    BOOL ANT_SendBurstTransfer(UCHAR channel, const UCHAR* data, USHORT packets) override;
    void ANT_Close() override;

    bool isSimulated() const override;
    bool stickLost() const override;
    void setStickLostHandler(std::function<void()> handler) override;
    std::string lastError() const override;
    std::string stickDescription() const override;

    // Counters for diagnostics, since the library was made.
    struct Stats {
        std::uint64_t messagesOut = 0;  // frames written (each burst packet counts)
        std::uint64_t bytesOut = 0;
        std::uint64_t writeFailures = 0;
        std::uint64_t bytesIn = 0;
        std::uint64_t framesIn = 0;     // well-formed frames decoded
        std::uint64_t delivered = 0;    // frames that reached a callback
        std::uint64_t undelivered = 0;  // no callback registered for them
        std::uint64_t ignored = 0;      // message IDs the program is not told about
        std::uint64_t malformed = 0;    // too short for their ID
        FrameDecoder::Stats decoder;    // of the current (or last) stick
    };
    Stats stats() const;

private:
    bool send(std::span<const std::uint8_t> bytes, std::uint64_t messages);
    void readLoop(std::stop_token stop, ByteTransport& transport);
    void handleFrame(const Frame& frame);
    bool awaitAnswer(std::uint64_t framesBefore);
    void closeLocked();
    void markLost(const std::string& why);
    void setError(std::string why);
    bool onReaderThread() const;

    Clock& clock_;
    TransportOpener opener_;

    std::mutex lifecycleMutex_;  // ANT_Init, ANT_Close
    std::unique_ptr<ClockThread> reader_;
    std::atomic<std::thread::id> readerId_{};

    mutable std::mutex writeMutex_;  // the transport pointer and every write
    std::unique_ptr<ByteTransport> transport_;
    bool lineClosed_ = false;  // closed from a callback, not yet released
    std::string description_;

    AntDispatcher dispatcher_;
    FrameDecoder decoder_;  // reader thread only

    std::atomic<bool> closedFromCallback_{false};
    std::atomic<bool> simulated_{false};
    std::atomic<bool> lost_{false};
    mutable std::mutex errorMutex_;
    std::string lastError_;

    std::atomic<std::uint64_t> messagesOut_{0}, bytesOut_{0}, writeFailures_{0};
    std::atomic<std::uint64_t> bytesIn_{0}, framesIn_{0}, delivered_{0}, undelivered_{0},
        ignored_{0}, malformed_{0};
    mutable std::mutex decoderStatsMutex_;
    FrameDecoder::Stats decoderStats_;
};

}  // namespace fota::ant
