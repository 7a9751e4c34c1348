#pragma once
// Hands the frames a stick sends to the program's callbacks, the way the ANT
// library does: it writes the registered buffer, then calls the callback.
//
//   0x40 with message ID 0x01 (an RF event)  -> channel-event callback
//        (channel, event code); buffer: channel, then eight zeros
//   0x40 with any other message ID           -> response callback (channel, 0x40);
//        buffer: channel, answered ID, code, the byte after the code or 0
//   0x6F start-up message                    -> response callback (0, 0x6F);
//        buffer: start-up reason, 0, 0, 0
//   0x4E / 0x4F / 0x50 received data         -> channel-event callback
//        (channel, 0x9A / 0x9B / 0x9C); buffer: channel, eight page bytes.
//        For burst packets the channel is the low five bits of the channel
//        byte (the sequence bits are dropped).
//
// Exactly 4 bytes of a response buffer and 9 of a receive buffer are written,
// whatever the frame's length; bytes a longer frame carries beyond them
// (extended data) are ignored. Frames too short to fill their buffer are
// dropped; other message IDs are ignored.
//
// Callbacks, buffers and the stick-lost handler are guarded by one lock that
// is held while a callback runs, so that once a set...() call with an empty
// function has returned, that function is not running and never runs again.
// A callback may call set...() itself (the lock is not taken twice).

#include <array>
#include <atomic>
#include <cstddef>
#include <functional>
#include <mutex>
#include <thread>

#include "antlink/AntFrame.h"
#include "antlink/AntTypes.h"

namespace fota::ant {

class AntDispatcher {
public:
    // Channel numbers a receive callback can be registered for (what the five
    // channel bits of a burst packet can name).
    static constexpr std::size_t kChannels = 32;

    enum class Outcome {
        Delivered,   // a callback was called
        NoReceiver,  // well-formed, but nobody is registered for it
        Ignored,     // a message the program is not told about
        Malformed,   // too short for what its ID promises
    };

    void setResponseFunction(ResponseFunc func, UCHAR* buffer);
    // False (and nothing changes) for a channel beyond kChannels.
    bool setChannelEventFunction(UCHAR channel, ChannelEventFunc func, UCHAR* buffer);
    void setStickLostHandler(std::function<void()> handler);
    // Forgets every callback and buffer, with the same guarantee.
    void clear();

    Outcome dispatch(const Frame& frame);

    // Calls the stick-lost handler, if any.
    void reportStickLost();

private:
    // Holds the lock unless the calling thread already holds it (a callback
    // calling back in).
    class Hold {
    public:
        explicit Hold(AntDispatcher& d);
        ~Hold();
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;

    private:
        AntDispatcher& d_;
        bool nested_ = false;
    };

    struct Receiver {
        ChannelEventFunc func;
        UCHAR* buffer = nullptr;
    };

    Outcome deliverResponse(UCHAR channel, UCHAR messageId, const std::array<UCHAR, 4>& bytes);
    Outcome deliverEvent(UCHAR channel, UCHAR code, const std::array<UCHAR, 9>& bytes);

    std::mutex mutex_;
    std::atomic<std::thread::id> holder_{};
    ResponseFunc responseFunc_;
    UCHAR* responseBuffer_ = nullptr;
    std::array<Receiver, kChannels> receivers_{};
    std::function<void()> stickLost_;
};

}  // namespace fota::ant
