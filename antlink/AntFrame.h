#pragma once
// Framing of the ANT serial message protocol: sync 0xA4, payload length,
// message ID, payload, and a checksum that is the XOR of every byte before it.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "antlink/ANTDEFINES.h"

namespace fota::ant {

struct Frame {
    std::uint8_t id = 0;
    std::vector<std::uint8_t> payload;

    bool operator==(const Frame&) const = default;
};

// The bytes of one message on the line.
std::vector<std::uint8_t> encodeFrame(std::uint8_t id, std::span<const std::uint8_t> payload);
inline std::vector<std::uint8_t> encodeFrame(const Frame& f) {
    return encodeFrame(f.id, f.payload);
}

std::uint8_t frameChecksum(std::span<const std::uint8_t> bytesBeforeChecksum);

// Turns a byte stream into frames. Bytes before a sync byte are skipped; a
// frame with a bad checksum or an unbelievable length is dropped and the
// search for the next sync byte starts at the byte after the dropped sync, so
// a good frame hidden inside garbage is still found. Frames may arrive split
// across any number of feed() calls.
class FrameDecoder {
public:
    using Sink = std::function<void(const Frame&)>;

    explicit FrameDecoder(std::size_t maxPayload = MESG_MAX_DATA_SIZE) : maxPayload_(maxPayload) {}

    void feed(std::span<const std::uint8_t> bytes, const Sink& sink);
    void reset() { buffer_.clear(); }

    struct Stats {
        std::uint64_t frames = 0;
        std::uint64_t skippedBytes = 0;  // bytes outside any frame (padding, garbage)
        std::uint64_t badChecksums = 0;
        std::uint64_t badLengths = 0;
    };
    const Stats& stats() const { return stats_; }

private:
    void parse(const Sink& sink);

    std::size_t maxPayload_;
    std::vector<std::uint8_t> buffer_;  // bytes from a sync byte on, not yet a whole frame
    Stats stats_;
};

}  // namespace fota::ant
