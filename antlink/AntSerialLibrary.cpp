#include "antlink/AntSerialLibrary.h"

#include <array>
#include <exception>

#include "antlink/ANTDEFINES.h"
#include "antlink/AntMessages.h"

namespace fota::ant {

namespace {

// Asked for when a stick sends no start-up message after a reset (older
// sticks): every stick answers it.
constexpr UCHAR MESG_CAPABILITIES_ID = 0x54;

}  // namespace

AntSerialLibrary::AntSerialLibrary(Clock& clock, TransportOpener opener)
    : clock_(clock), opener_(std::move(opener)) {}

AntSerialLibrary::~AntSerialLibrary() {
    ANT_Close();
}

// ------------------------------------------------------------ life cycle

BOOL AntSerialLibrary::ANT_Init(UCHAR usbDeviceNum, ULONG baudrate, UCHAR portType,
                                UCHAR frameType) {
    (void)portType;
    (void)frameType;
    std::lock_guard life(lifecycleMutex_);
    closeLocked();
    setError({});
    lost_ = false;

    OpenedTransport opened;
    try {
        if (opener_) {
            opened = opener_(usbDeviceNum, baudrate);
        }
    } catch (const std::exception& e) {
        opened = OpenedTransport::failure(e.what());
    }
    if (!opened.transport) {
        setError(opened.error.empty() ? "no ANT USB stick found" : opened.error);
        return FALSE;
    }

    ByteTransport& transport = *opened.transport;
    const std::string description = transport.description();
    {
        std::lock_guard lock(writeMutex_);
        transport_ = std::move(opened.transport);
        description_ = description;
    }
    simulated_ = transport.isSimulated();
    decoder_ = FrameDecoder{};
    {
        std::lock_guard lock(decoderStatsMutex_);
        decoderStats_ = {};
    }

    const std::uint64_t framesBefore = framesIn_.load();
    closedFromCallback_ = false;
    reader_ = std::make_unique<ClockThread>(
        clock_, "ant-reader",
        [this, &transport](std::stop_token stop) { readLoop(stop, transport); });

    bool answered = send(resetSystemMessage(), 1) && awaitAnswer(framesBefore);
    if (!answered && !lost_) {
        answered = send(requestMessage(0, MESG_CAPABILITIES_ID), 1) && awaitAnswer(framesBefore);
    }
    if (answered) {
        return TRUE;
    }
    const std::string why = lost_ ? lastError() : "no answer from an ANT stick on " + description;
    closeLocked();
    setError(why);
    return FALSE;
}

bool AntSerialLibrary::awaitAnswer(std::uint64_t framesBefore) {
    clock_.waitFor(kAnswerTimeout, [&] { return framesIn_.load() > framesBefore || lost_.load(); });
    return framesIn_.load() > framesBefore;
}

void AntSerialLibrary::ANT_Close() {
    if (onReaderThread()) {
        // Called from a callback: the reader cannot wait for itself. Stop it
        // and end the line; the thread is joined by the next ANT_Init or
        // ANT_Close, or the destructor.
        dispatcher_.clear();
        closedFromCallback_ = true;  // the reader ends when this callback returns
        std::lock_guard lock(writeMutex_);
        if (transport_) {
            transport_->close();
        }
        lineClosed_ = true;  // later sends fail quietly: the stick is not lost
        simulated_ = false;
        return;
    }
    std::lock_guard life(lifecycleMutex_);
    dispatcher_.clear();  // nothing is delivered from here on, even while stopping
    closeLocked();
}

void AntSerialLibrary::closeLocked() {
    if (reader_) {
        reader_->requestStop();
        reader_->join();
        reader_.reset();
    }
    std::unique_ptr<ByteTransport> old;
    {
        std::lock_guard lock(writeMutex_);
        old = std::move(transport_);
        description_.clear();
        lineClosed_ = false;
    }
    if (old) {
        old->close();
    }
    simulated_ = false;
}

bool AntSerialLibrary::onReaderThread() const {
    return readerId_.load() == std::this_thread::get_id();
}

// -------------------------------------------------------------- reading

void AntSerialLibrary::readLoop(std::stop_token stop, ByteTransport& transport) {
    readerId_ = std::this_thread::get_id();
    std::array<std::uint8_t, 256> buffer{};
    auto stopping = [&] { return stop.stop_requested() || closedFromCallback_.load(); };
    while (!stopping()) {
        const long n = transport.read(buffer, stop);
        if (n < 0) {
            if (!stopping()) {
                markLost("the ANT stick on " + transport.description() +
                         " stopped answering (unplugged?)");
            }
            break;
        }
        if (n == 0) {
            if (!stopping()) {
                clock_.sleepFor(std::chrono::milliseconds(10), stop);  // a line that returns early
            }
            continue;
        }
        bytesIn_ += static_cast<std::uint64_t>(n);
        const std::uint64_t framesBefore = framesIn_.load();
        decoder_.feed(std::span(buffer.data(), static_cast<std::size_t>(n)),
                      [this](const Frame& frame) { handleFrame(frame); });
        {
            std::lock_guard lock(decoderStatsMutex_);
            decoderStats_ = decoder_.stats();
        }
        if (framesIn_.load() != framesBefore) {
            clock_.notify();  // ANT_Init may be waiting for an answer
        }
    }
    readerId_ = std::thread::id();
}

void AntSerialLibrary::handleFrame(const Frame& frame) {
    ++framesIn_;
    switch (dispatcher_.dispatch(frame)) {
        case AntDispatcher::Outcome::Delivered:
            ++delivered_;
            break;
        case AntDispatcher::Outcome::NoReceiver:
            ++undelivered_;
            break;
        case AntDispatcher::Outcome::Ignored:
            ++ignored_;
            break;
        case AntDispatcher::Outcome::Malformed:
            ++malformed_;
            break;
    }
}

void AntSerialLibrary::markLost(const std::string& why) {
    bool expected = false;
    if (!lost_.compare_exchange_strong(expected, true)) {
        return;
    }
    setError(why);
    clock_.notify();
    dispatcher_.reportStickLost();
}

// -------------------------------------------------------------- writing

bool AntSerialLibrary::send(std::span<const std::uint8_t> bytes, std::uint64_t messages) {
    std::string description;
    {
        std::lock_guard lock(writeMutex_);
        if (!transport_ || lineClosed_ || lost_) {
            return false;
        }
        if (transport_->write(bytes)) {
            messagesOut_ += messages;
            bytesOut_ += bytes.size();
            return true;
        }
        ++writeFailures_;
        description = description_;
    }
    markLost("cannot write to the ANT stick on " + description + " (unplugged?)");
    return false;
}

void AntSerialLibrary::ANT_AssignResponseFunction(ResponseFunc func, UCHAR* responseBuffer) {
    dispatcher_.setResponseFunction(std::move(func), responseBuffer);
}

void AntSerialLibrary::ANT_AssignChannelEventFunction(UCHAR channel, ChannelEventFunc func,
                                                      UCHAR* rxBuffer) {
    dispatcher_.setChannelEventFunction(channel, std::move(func), rxBuffer);
}

BOOL AntSerialLibrary::ANT_ResetSystem() {
    return send(resetSystemMessage(), 1) ? TRUE : FALSE;
}

BOOL AntSerialLibrary::ANT_SetNetworkKey(UCHAR net, const UCHAR* key8) {
    if (key8 == nullptr) {
        return FALSE;
    }
    return send(networkKeyMessage(net, std::span<const UCHAR, 8>(key8, 8)), 1) ? TRUE : FALSE;
}

BOOL AntSerialLibrary::ANT_AssignChannel(UCHAR channel, UCHAR channelType, UCHAR net) {
    return send(assignChannelMessage(channel, channelType, net), 1) ? TRUE : FALSE;
}

BOOL AntSerialLibrary::ANT_SetChannelId(UCHAR channel, USHORT deviceNumber, UCHAR deviceType,
                                        UCHAR transmissionType) {
    return send(channelIdMessage(channel, deviceNumber, deviceType, transmissionType), 1) ? TRUE
                                                                                          : FALSE;
}

BOOL AntSerialLibrary::ANT_SetChannelPeriod(UCHAR channel, USHORT period) {
    return send(channelPeriodMessage(channel, period), 1) ? TRUE : FALSE;
}

BOOL AntSerialLibrary::ANT_SetChannelSearchTimeout(UCHAR channel, UCHAR timeout) {
    return send(searchTimeoutMessage(channel, timeout), 1) ? TRUE : FALSE;
}

BOOL AntSerialLibrary::ANT_SetChannelRFFreq(UCHAR channel, UCHAR rfFrequency) {
    return send(rfFrequencyMessage(channel, rfFrequency), 1) ? TRUE : FALSE;
}

BOOL AntSerialLibrary::ANT_OpenChannel(UCHAR channel) {
    return send(openChannelMessage(channel), 1) ? TRUE : FALSE;
}

BOOL AntSerialLibrary::ANT_SendAcknowledgedData(UCHAR channel, const UCHAR* data8) {
    if (data8 == nullptr) {
        return FALSE;
    }
    return send(acknowledgedDataMessage(channel, std::span<const UCHAR, 8>(data8, 8)), 1) ? TRUE
                                                                                          : FALSE;
}

BOOL AntSerialLibrary::ANT_SendBroadcastData(UCHAR channel, const UCHAR* data8) {
    if (data8 == nullptr) {
        return FALSE;
    }
    return send(broadcastDataMessage(channel, std::span<const UCHAR, 8>(data8, 8)), 1) ? TRUE
                                                                                       : FALSE;
}

BOOL AntSerialLibrary::ANT_SendBurstTransfer(UCHAR channel, const UCHAR* data, USHORT packets) {
    if (data == nullptr || packets == 0) {
        return FALSE;
    }
    const Bytes all = burstMessages(channel, std::span(data, std::size_t{packets} * ANT_PAGE_SIZE));
    return send(all, packets) ? TRUE : FALSE;
}

// ------------------------------------------------------------ questions

bool AntSerialLibrary::isSimulated() const {
    return simulated_.load();
}

bool AntSerialLibrary::stickLost() const {
    return lost_.load();
}

void AntSerialLibrary::setStickLostHandler(std::function<void()> handler) {
    dispatcher_.setStickLostHandler(std::move(handler));
}

void AntSerialLibrary::setError(std::string why) {
    std::lock_guard lock(errorMutex_);
    lastError_ = std::move(why);
}

std::string AntSerialLibrary::lastError() const {
    std::lock_guard lock(errorMutex_);
    return lastError_;
}

std::string AntSerialLibrary::stickDescription() const {
    std::lock_guard lock(writeMutex_);
    return description_;
}

AntSerialLibrary::Stats AntSerialLibrary::stats() const {
    Stats s;
    s.messagesOut = messagesOut_.load();
    s.bytesOut = bytesOut_.load();
    s.writeFailures = writeFailures_.load();
    s.bytesIn = bytesIn_.load();
    s.framesIn = framesIn_.load();
    s.delivered = delivered_.load();
    s.undelivered = undelivered_.load();
    s.ignored = ignored_.load();
    s.malformed = malformed_.load();
    std::lock_guard lock(decoderStatsMutex_);
    s.decoder = decoderStats_;
    return s;
}

}  // namespace fota::ant
