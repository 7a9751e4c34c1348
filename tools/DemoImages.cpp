#include "tools/DemoImages.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace fota::demo {

namespace {

using CC = ControllerClass;

// Versions: in the controller class of the image and 114 or more, so that the
// upgrade ends after the restart; the WEK images report 118 or more, so that
// the zero-position step runs. MUSEK reports 130 (above its upgrade limit of
// 27 and a finished version, so its single pass ends the upgrade).
constexpr std::array<ImageSpec, 29> kSpecs = {{
    {"BOOTLOADER64", "BOOT", CC::C64, 1, 85, kKeepBootloaderUnitType, 12336},
    {"BOOTLOADER128", "BOOT", CC::C128, 1, 86, kKeepBootloaderUnitType, 14672},
    {"FW_KOV_64", "KOV", CC::C64, 120, 3, 14, 18432},
    {"FW_KOV_128", "KOV", CC::C128, 124, 3, 14, 26000},
    {"FW_KOV_128B", "KOV", CC::C128B, 125, 3, 14, 33792},
    {"FW_KOV_256", "KOV", CC::C256, 132, 3, 14, 40960},
    {"FW_PU_64", "PU", CC::C64, 121, 2, 16, 19876},
    {"FW_PU_128", "PU", CC::C128, 127, 2, 16, 27348},
    {"FW_PU_128B", "PU", CC::C128B, 126, 2, 16, 35020},
    {"FW_PU_256", "PU", CC::C256, 134, 2, 16, 42012},
    {"FW_LO_64", "LO", CC::C64, 122, 5, 15, 21004},
    {"FW_LO_128", "LO", CC::C128, 114, 5, 15, 28672},
    {"FW_LO_128B", "LO", CC::C128B, 131, 5, 15, 36404},
    {"FW_LO_256", "LO", CC::C256, 129, 5, 15, 43520},
    {"FW_WEK_64", "WEK", CC::C64, 120, 4, 17, 22528},
    {"FW_WEK_128", "WEK", CC::C128, 118, 4, 17, 29980},
    {"FW_WEK_128B", "WEK", CC::C128B, 119, 4, 17, 38000},
    {"FW_WEK_256", "WEK", CC::C256, 129, 4, 17, 44444},
    {"FW_DUF_64", "DUF", CC::C64, 123, 1, 18, 23940},
    {"FW_DUF_128", "DUF", CC::C128, 124, 1, 18, 31236},
    {"FW_DUF_128B", "DUF", CC::C128B, 133, 1, 18, 39868},
    {"FW_DUF_256", "DUF", CC::C256, 130, 1, 18, 45056},
    {"FW_TOBE_64", "TOBE", CC::C64, 116, 6, 19, 25116},
    {"FW_TOBE_128", "TOBE", CC::C128, 127, 6, 19, 32508},
    {"FW_TOBE_128B", "TOBE", CC::C128B, 115, 6, 19, 41500},
    {"FW_TOBE_256", "TOBE", CC::C256, 132, 6, 19, 45788},
    {"FW_GILNO_128B", "GILNO", CC::C128B, 133, 7, 20, 43000},
    {"FW_GILNO_256", "GILNO", CC::C256, 134, 7, 20, 46000},
    {"FW_MUSEK_256", "MUSEK", CC::C256, 130, 8, 20, 46240},
}};

// A small deterministic generator (splitmix64), seeded from the image name.
class Random {
public:
    explicit Random(std::string_view seedText) {
        state_ = 0xCBF29CE484222325ull;  // FNV-1a
        for (const char c : seedText) {
            state_ = (state_ ^ static_cast<std::uint8_t>(c)) * 0x100000001B3ull;
        }
    }
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

private:
    std::uint64_t state_;
};

bool is256(const ImageSpec& spec) {
    return spec.controller == CC::C256;
}

std::uint16_t upperWord(const ImageSpec& spec) {
    return is256(spec) ? 0x0040 : 0x0010;
}

void appendRecord(std::string& out, std::uint8_t type, std::uint16_t address,
                  std::span<const std::uint8_t> data) {
    char text[8];
    std::uint8_t sum = static_cast<std::uint8_t>(data.size()) +
                       static_cast<std::uint8_t>(address >> 8) +
                       static_cast<std::uint8_t>(address & 0xFF) + type;
    std::snprintf(text, sizeof text, ":%02X", static_cast<unsigned>(data.size()));
    out += text;
    std::snprintf(text, sizeof text, "%04X%02X", static_cast<unsigned>(address),
                  static_cast<unsigned>(type));
    out += text;
    for (const std::uint8_t b : data) {
        std::snprintf(text, sizeof text, "%02X", static_cast<unsigned>(b));
        out += text;
        sum = static_cast<std::uint8_t>(sum + b);
    }
    std::snprintf(text, sizeof text, "%02X\r\n", static_cast<unsigned>((0x100 - sum) & 0xFF));
    out += text;
}

}  // namespace

std::span<const ImageSpec> Specs() {
    return kSpecs;
}

std::uint16_t BaseAddress(const ImageSpec& spec) {
    return is256(spec) ? 0x4000 : 0x1000;
}

std::uint32_t EndLimit(const ImageSpec& spec) {
    return is256(spec) ? 0xF4A0 : 0xB7F8;
}

std::vector<std::uint8_t> MakeBytes(const ImageSpec& spec) {
    std::vector<std::uint8_t> bytes(spec.size);
    Random random(spec.name);
    for (std::size_t i = kDemoHeaderSize; i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>(random.next() >> 56);
    }
    DemoHeader header;
    header.name = std::string(spec.name);
    header.model = std::string(spec.model);
    header.controller = spec.controller;
    header.version = spec.version;
    header.subVersion = spec.subVersion;
    header.unitType = spec.unitType;
    header.imageSize = spec.size;
    header.payloadCrc = Crc32(std::span(bytes).subspan(kDemoHeaderSize));
    const auto encoded = EncodeDemoHeader(header);
    std::copy(encoded.begin(), encoded.end(), bytes.begin());
    return bytes;
}

std::string MakeHex(const ImageSpec& spec) {
    const std::vector<std::uint8_t> bytes = MakeBytes(spec);
    // The record lengths come from their own generator, so that they do not
    // depend on the payload.
    Random lengths(std::string(spec.name) + "/records");
    std::string out;
    out.reserve(bytes.size() * 3);

    const std::uint16_t upper = upperWord(spec);
    const std::array<std::uint8_t, 2> upperBytes = {static_cast<std::uint8_t>(upper >> 8),
                                                    static_cast<std::uint8_t>(upper & 0xFF)};
    appendRecord(out, 0x04, 0x0000, upperBytes);

    const std::uint16_t base = BaseAddress(spec);
    std::size_t offset = 0;
    while (offset < bytes.size()) {
        const std::size_t rest = bytes.size() - offset;
        std::size_t length = 16;
        if (rest <= 16) {
            length = rest;
        } else {
            const std::uint64_t r = lengths.next();
            if (r % 23 == 0) {
                static constexpr std::array<std::size_t, 3> kShort = {12, 8, 4};
                length = kShort[(r >> 32) % kShort.size()];
            }
        }
        appendRecord(out, 0x00, static_cast<std::uint16_t>(base + offset),
                     std::span(bytes).subspan(offset, length));
        offset += length;
    }

    const std::uint32_t start = (std::uint32_t{upper} << 16) | base;
    const std::array<std::uint8_t, 4> startBytes = {
        static_cast<std::uint8_t>(start >> 24), static_cast<std::uint8_t>(start >> 16),
        static_cast<std::uint8_t>(start >> 8), static_cast<std::uint8_t>(start)};
    appendRecord(out, 0x05, 0x0000, startBytes);
    appendRecord(out, 0x01, 0x0000, {});
    return out;
}

}  // namespace fota::demo
