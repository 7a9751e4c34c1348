#include "antlink/AntDispatcher.h"

#include <algorithm>

#include "antlink/ANTDEFINES.h"

namespace fota::ant {

AntDispatcher::Hold::Hold(AntDispatcher& d) : d_(d) {
    // Only this thread can have stored its own id, so a relaxed load suffices.
    if (d_.holder_.load(std::memory_order_relaxed) == std::this_thread::get_id()) {
        nested_ = true;
        return;
    }
    d_.mutex_.lock();
    d_.holder_.store(std::this_thread::get_id(), std::memory_order_relaxed);
}

AntDispatcher::Hold::~Hold() {
    if (!nested_) {
        d_.holder_.store(std::thread::id(), std::memory_order_relaxed);
        d_.mutex_.unlock();
    }
}

void AntDispatcher::setResponseFunction(ResponseFunc func, UCHAR* buffer) {
    Hold hold(*this);
    responseFunc_ = std::move(func);
    responseBuffer_ = buffer;
}

bool AntDispatcher::setChannelEventFunction(UCHAR channel, ChannelEventFunc func, UCHAR* buffer) {
    if (channel >= kChannels) {
        return false;
    }
    Hold hold(*this);
    receivers_[channel].func = std::move(func);
    receivers_[channel].buffer = buffer;
    return true;
}

void AntDispatcher::setStickLostHandler(std::function<void()> handler) {
    Hold hold(*this);
    stickLost_ = std::move(handler);
}

void AntDispatcher::clear() {
    Hold hold(*this);
    responseFunc_ = nullptr;
    responseBuffer_ = nullptr;
    for (auto& r : receivers_) {
        r = Receiver{};
    }
    stickLost_ = nullptr;
}

void AntDispatcher::reportStickLost() {
    Hold hold(*this);
    if (stickLost_) {
        const auto handler = stickLost_;  // it may remove itself
        handler();
    }
}

AntDispatcher::Outcome AntDispatcher::dispatch(const Frame& frame) {
    const auto& p = frame.payload;
    switch (frame.id) {
        case MESG_RESPONSE_EVENT_ID: {
            if (p.size() < 3) {
                return Outcome::Malformed;
            }
            if (p[1] == MESG_EVENT_ID) {
                return deliverEvent(p[0], p[2], {p[0], 0, 0, 0, 0, 0, 0, 0, 0});
            }
            const UCHAR after = p.size() > 3 ? p[3] : 0;
            return deliverResponse(p[0], MESG_RESPONSE_EVENT_ID, {p[0], p[1], p[2], after});
        }
        case MESG_STARTUP_MESG_ID:
            if (p.empty()) {
                return Outcome::Malformed;
            }
            return deliverResponse(0, MESG_STARTUP_MESG_ID, {p[0], 0, 0, 0});
        case MESG_BROADCAST_DATA_ID:
        case MESG_ACKNOWLEDGED_DATA_ID:
        case MESG_BURST_DATA_ID: {
            if (p.size() < 9) {
                return Outcome::Malformed;
            }
            UCHAR code = EVENT_RX_BROADCAST;
            UCHAR channel = p[0];
            if (frame.id == MESG_ACKNOWLEDGED_DATA_ID) {
                code = EVENT_RX_ACKNOWLEDGED;
            } else if (frame.id == MESG_BURST_DATA_ID) {
                code = EVENT_RX_BURST_PACKET;
                channel = static_cast<UCHAR>(channel & BURST_CHANNEL_MASK);
            }
            std::array<UCHAR, 9> bytes{};
            bytes[0] = channel;
            std::copy_n(p.begin() + 1, 8, bytes.begin() + 1);
            return deliverEvent(channel, code, bytes);
        }
        default:
            return Outcome::Ignored;
    }
}

AntDispatcher::Outcome AntDispatcher::deliverResponse(UCHAR channel, UCHAR messageId,
                                                      const std::array<UCHAR, 4>& bytes) {
    Hold hold(*this);
    if (!responseFunc_) {
        return Outcome::NoReceiver;
    }
    if (responseBuffer_ != nullptr) {
        std::copy(bytes.begin(), bytes.end(), responseBuffer_);
    }
    const auto func = responseFunc_;  // the callback may replace itself
    func(channel, messageId);
    return Outcome::Delivered;
}

AntDispatcher::Outcome AntDispatcher::deliverEvent(UCHAR channel, UCHAR code,
                                                   const std::array<UCHAR, 9>& bytes) {
    if (channel >= kChannels) {
        return Outcome::NoReceiver;
    }
    Hold hold(*this);
    Receiver& r = receivers_[channel];
    if (!r.func) {
        return Outcome::NoReceiver;
    }
    if (r.buffer != nullptr) {
        std::copy(bytes.begin(), bytes.end(), r.buffer);
    }
    const auto func = r.func;  // the callback may replace itself
    func(channel, code);
    return Outcome::Delivered;
}

}  // namespace fota::ant
