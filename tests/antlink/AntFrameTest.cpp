#include "antlink/AntFrame.h"

#include <gtest/gtest.h>

#include <vector>

using namespace fota::ant;
using Bytes = std::vector<std::uint8_t>;

namespace {

TEST(AntFrame, EncodesExactBytes) {
    struct Case {
        const char* what;
        std::uint8_t id;
        Bytes payload;
        Bytes wire;
    } cases[] = {
        {"reset", 0x4A, {0x00}, {0xA4, 0x01, 0x4A, 0x00, 0xEF}},
        {"response", 0x40, {0x00, 0x46, 0x00}, {0xA4, 0x03, 0x40, 0x00, 0x46, 0x00, 0xA1}},
        {"channel id",
         0x51,
         {0x00, 0xC2, 0x00, 0x77, 0x00},
         {0xA4, 0x05, 0x51, 0x00, 0xC2, 0x00, 0x77, 0x00, 0x45}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(encodeFrame(c.id, c.payload), c.wire);
    }
}

std::vector<Frame> decodeAll(FrameDecoder& d, const std::vector<Bytes>& chunks) {
    std::vector<Frame> out;
    for (const auto& c : chunks) {
        d.feed(c, [&](const Frame& f) { out.push_back(f); });
    }
    return out;
}

TEST(AntFrameDecoder, FindsFramesInGarbageSplitsAndPadding) {
    const Bytes reset = encodeFrame(0x6F, Bytes{0x20});
    const Bytes resp = encodeFrame(0x40, Bytes{0x00, 0x46, 0x00});
    Bytes badChecksum = resp;
    badChecksum.back() ^= 0xFF;

    struct Case {
        const char* what;
        std::vector<Bytes> chunks;
        std::size_t frames;
    } cases[] = {
        {"garbage then frame", {{0x00, 0x13, 0x37}, resp}, 1},
        {"zero padding between", {resp, {0, 0, 0, 0}, reset}, 2},
        {"split byte by byte", {}, 2},
        {"bad checksum then good", {badChecksum, resp}, 1},
        {"sync inside garbage length too big", {{0xA4, 0xFF, 0x00}, resp}, 1},
        {"frame starting inside a bad frame", {{0xA4, 0x05, 0x4E}, resp}, 1},
    };
    for (auto b : resp) {
        cases[2].chunks.push_back({b});
    }
    for (auto b : reset) {
        cases[2].chunks.push_back({b});
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FrameDecoder d;
        const auto frames = decodeAll(d, c.chunks);
        ASSERT_EQ(frames.size(), c.frames);
        EXPECT_EQ(frames.back().id, c.frames == 2 ? 0x6F : 0x40);
    }
}

}  // namespace
