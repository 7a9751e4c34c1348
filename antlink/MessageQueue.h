#pragma once
// ANT event intake: the two library callbacks copy the library's buffer into a
// TANTGenericMessage and append it to ChannelGenericQueue; the UI thread's pump
// takes one message per tick. The queue is safe for exactly one producer (the
// library's reader thread) and one consumer (the UI thread); it grows and
// never drops a message.

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

namespace fota {

enum TMessageType : std::uint8_t {
    mtMainEvent = 0,     // from the response callback
    mtChannelEvent = 1,  // from the channel-event callback
};

struct TANTGenericMessage {
    TMessageType MessageType = mtMainEvent;
    std::uint8_t Channel = 0;
    std::uint8_t Event = 0;            // message ID (responses) or event code
    std::vector<std::uint8_t> Buffer;  // 4 bytes (responses) or 9 bytes (channel events)
};

class TChannelGenericQueue {
public:
    explicit TChannelGenericQueue(std::size_t capacity = 1000);

    void Push(std::unique_ptr<TANTGenericMessage> message);
    std::size_t Count() const;
    // The oldest message, or null when the queue is empty.
    std::unique_ptr<TANTGenericMessage> Pop();
    // The largest count seen (for diagnostics).
    std::size_t Peak() const;

private:
    mutable std::mutex mutex_;
    std::deque<std::unique_ptr<TANTGenericMessage>> items_;
    std::size_t peak_ = 0;
};

}  // namespace fota
