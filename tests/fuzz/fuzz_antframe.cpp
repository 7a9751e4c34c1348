// Arbitrary bytes from a stick, in arbitrary pieces, through the frame decoder
// and the library's dispatch to the callbacks. The callbacks' buffers are
// heap blocks of exactly 4 and 9 bytes, so AddressSanitizer catches any write
// past them.
//
// Input: pairs of (length byte, bytes); each pair is one read's worth.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "antlink/ANTDEFINES.h"
#include "antlink/AntDispatcher.h"
#include "antlink/AntFrame.h"

using namespace fota::ant;

namespace {

void check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The stream as the stick sent it, and the pieces it arrived in.
    std::vector<std::uint8_t> stream;
    std::vector<std::vector<std::uint8_t>> pieces;
    for (std::size_t i = 0; i < size;) {
        const std::size_t n = std::min<std::size_t>(data[i] % 40 + 1, size - i - 1);
        ++i;
        pieces.emplace_back(data + i, data + i + n);
        stream.insert(stream.end(), data + i, data + i + n);
        i += n;
    }

    // How the stream is cut must not change what is decoded.
    FrameDecoder whole;
    std::vector<Frame> expected;
    whole.feed(stream, [&](const Frame& f) { expected.push_back(f); });

    auto response = std::make_unique<UCHAR[]>(RESPONSE_BUFFER_SIZE);
    auto rx0 = std::make_unique<UCHAR[]>(RX_BUFFER_SIZE);
    auto rx5 = std::make_unique<UCHAR[]>(RX_BUFFER_SIZE);
    AntDispatcher dispatcher;
    int calls = 0;
    dispatcher.setResponseFunction(
        [&](UCHAR, UCHAR id) {
            check(id == MESG_RESPONSE_EVENT_ID || id == MESG_STARTUP_MESG_ID);
            ++calls;
            return true;
        },
        response.get());
    auto onEvent = [&](UCHAR*& buffer) {
        return [&](UCHAR channel, UCHAR) {
            check(channel < AntDispatcher::kChannels);
            check(buffer == nullptr || buffer[0] == channel);
            ++calls;
            return true;
        };
    };
    UCHAR* rx0p = rx0.get();
    UCHAR* rx5p = rx5.get();
    UCHAR* none = nullptr;
    dispatcher.setChannelEventFunction(0, onEvent(rx0p), rx0p);
    dispatcher.setChannelEventFunction(5, onEvent(rx5p), rx5p);
    dispatcher.setChannelEventFunction(31, onEvent(none), nullptr);  // no buffer given
    check(!dispatcher.setChannelEventFunction(32, onEvent(none), nullptr));

    FrameDecoder decoder;
    std::size_t index = 0;
    int delivered = 0;
    for (const auto& piece : pieces) {
        decoder.feed(piece, [&](const Frame& f) {
            check(index < expected.size() && f == expected[index]);
            ++index;
            check(f.payload.size() <= MESG_MAX_DATA_SIZE);
            if (dispatcher.dispatch(f) == AntDispatcher::Outcome::Delivered) {
                ++delivered;
            }
        });
    }
    check(index == expected.size());
    check(decoder.stats().frames == expected.size());
    check(delivered == calls);
    return 0;
}
