#include "antlink/AntFrame.h"

namespace fota::ant {

std::uint8_t frameChecksum(std::span<const std::uint8_t> bytes) {
    std::uint8_t sum = 0;
    for (std::uint8_t b : bytes) {
        sum ^= b;
    }
    return sum;
}

std::vector<std::uint8_t> encodeFrame(std::uint8_t id, std::span<const std::uint8_t> payload) {
    std::vector<std::uint8_t> out;
    out.reserve(payload.size() + 4);
    out.push_back(MESG_TX_SYNC);
    out.push_back(static_cast<std::uint8_t>(payload.size()));
    out.push_back(id);
    out.insert(out.end(), payload.begin(), payload.end());
    out.push_back(frameChecksum(out));
    return out;
}

void FrameDecoder::feed(std::span<const std::uint8_t> bytes, const Sink& sink) {
    for (std::uint8_t b : bytes) {
        if (buffer_.empty() && b != MESG_TX_SYNC) {
            ++stats_.skippedBytes;
            continue;
        }
        buffer_.push_back(b);
        parse(sink);
    }
}

// Called after each byte; buffer_ starts with a sync byte.
void FrameDecoder::parse(const Sink& sink) {
    while (!buffer_.empty()) {
        if (buffer_.size() < 2) {
            return;
        }
        const std::size_t length = buffer_[1];
        bool drop = false;
        if (length > maxPayload_) {
            ++stats_.badLengths;
            drop = true;
        } else if (buffer_.size() < length + 4) {
            return;  // wait for the rest
        } else {
            const std::uint8_t expected = frameChecksum(std::span(buffer_.data(), length + 3));
            if (expected == buffer_[length + 3]) {
                Frame frame;
                frame.id = buffer_[2];
                frame.payload.assign(buffer_.begin() + 3, buffer_.begin() + 3 + length);
                ++stats_.frames;
                buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<long>(length + 4));
                sink(frame);
                // Whatever follows is outside a frame until the next sync byte.
                std::size_t skip = 0;
                while (skip < buffer_.size() && buffer_[skip] != MESG_TX_SYNC) {
                    ++skip;
                }
                stats_.skippedBytes += skip;
                buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<long>(skip));
                continue;
            }
            ++stats_.badChecksums;
            drop = true;
        }
        if (drop) {
            // Resynchronise at the next sync byte after the false one.
            std::size_t next = 1;
            while (next < buffer_.size() && buffer_[next] != MESG_TX_SYNC) {
                ++next;
            }
            stats_.skippedBytes += next;
            buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<long>(next));
        }
    }
}

}  // namespace fota::ant
