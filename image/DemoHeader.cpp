#include "image/DemoHeader.h"

#include <algorithm>

namespace fota {

namespace {

constexpr std::size_t kOffLayout = 8;
constexpr std::size_t kOffSize = 9;
constexpr std::size_t kOffName = 10;
constexpr std::size_t kOffModel = kOffName + kDemoNameSize;    // 26
constexpr std::size_t kOffClass = kOffModel + kDemoModelSize;  // 34
constexpr std::size_t kOffVersion = 35;
constexpr std::size_t kOffSubVersion = 36;
constexpr std::size_t kOffUnitType = 37;
constexpr std::size_t kOffImageSize = 40;
constexpr std::size_t kOffCrc = 44;

void putText(std::span<std::uint8_t> field, std::string_view text) {
    // The last byte of the field stays NUL.
    const std::size_t n = std::min(text.size(), field.size() - 1);
    std::copy_n(text.begin(), n, field.begin());
}

std::optional<std::string> getText(std::span<const std::uint8_t> field) {
    std::string text;
    std::size_t i = 0;
    for (; i < field.size() && field[i] != 0; ++i) {
        if (field[i] < 0x20 || field[i] > 0x7E) {
            return std::nullopt;
        }
        text.push_back(static_cast<char>(field[i]));
    }
    if (i == field.size()) {
        return std::nullopt;  // not terminated
    }
    for (; i < field.size(); ++i) {
        if (field[i] != 0) {
            return std::nullopt;
        }
    }
    return text;
}

void putU32(std::span<std::uint8_t> at, std::uint32_t v) {
    at[0] = static_cast<std::uint8_t>(v >> 24);
    at[1] = static_cast<std::uint8_t>(v >> 16);
    at[2] = static_cast<std::uint8_t>(v >> 8);
    at[3] = static_cast<std::uint8_t>(v);
}

std::uint32_t getU32(std::span<const std::uint8_t> at) {
    return (std::uint32_t{at[0]} << 24) | (std::uint32_t{at[1]} << 16) |
           (std::uint32_t{at[2]} << 8) | std::uint32_t{at[3]};
}

}  // namespace

std::string_view ToString(ControllerClass c) {
    switch (c) {
        case ControllerClass::C64:
            return "64";
        case ControllerClass::C128:
            return "128";
        case ControllerClass::C128B:
            return "128B";
        case ControllerClass::C256:
            return "256";
    }
    return "?";
}

std::array<std::uint8_t, kDemoHeaderSize> EncodeDemoHeader(const DemoHeader& header) {
    std::array<std::uint8_t, kDemoHeaderSize> out{};
    const std::span<std::uint8_t> bytes(out);
    std::copy(kDemoMagic.begin(), kDemoMagic.end(), out.begin());
    out[kOffLayout] = kDemoLayoutVersion;
    out[kOffSize] = static_cast<std::uint8_t>(kDemoHeaderSize);
    putText(bytes.subspan(kOffName, kDemoNameSize), header.name);
    putText(bytes.subspan(kOffModel, kDemoModelSize), header.model);
    out[kOffClass] = static_cast<std::uint8_t>(header.controller);
    out[kOffVersion] = header.version;
    out[kOffSubVersion] = header.subVersion;
    out[kOffUnitType] = header.unitType;
    putU32(bytes.subspan(kOffImageSize, 4), header.imageSize);
    putU32(bytes.subspan(kOffCrc, 4), header.payloadCrc);
    return out;
}

std::optional<DemoHeader> ParseDemoHeader(std::span<const std::uint8_t> image) {
    if (image.size() < kDemoHeaderSize ||
        !std::equal(kDemoMagic.begin(), kDemoMagic.end(), image.begin(),
                    [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; }) ||
        image[kOffLayout] != kDemoLayoutVersion || image[kOffSize] != kDemoHeaderSize ||
        image[kOffClass] > static_cast<std::uint8_t>(ControllerClass::C256)) {
        return std::nullopt;
    }
    auto name = getText(image.subspan(kOffName, kDemoNameSize));
    auto model = getText(image.subspan(kOffModel, kDemoModelSize));
    if (!name || !model) {
        return std::nullopt;
    }
    DemoHeader h;
    h.name = std::move(*name);
    h.model = std::move(*model);
    h.controller = static_cast<ControllerClass>(image[kOffClass]);
    h.version = image[kOffVersion];
    h.subVersion = image[kOffSubVersion];
    h.unitType = image[kOffUnitType];
    h.imageSize = getU32(image.subspan(kOffImageSize, 4));
    h.payloadCrc = getU32(image.subspan(kOffCrc, 4));
    return h;
}

bool DemoImageComplete(const DemoHeader& header, std::span<const std::uint8_t> image) {
    return image.size() == header.imageSize && image.size() >= kDemoHeaderSize &&
           Crc32(image.subspan(kDemoHeaderSize)) == header.payloadCrc;
}

std::uint32_t Crc32(std::span<const std::uint8_t> bytes) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const std::uint8_t b : bytes) {
        crc ^= b;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1u) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
        }
    }
    return ~crc;
}

std::uint8_t BootloaderUnitType(std::uint8_t currentUnitType) {
    switch (currentUnitType) {
        case 14:
            return 9;
        case 16:
            return 11;
        case 15:
            return 12;
        case 17:
            return 13;
        default:
            break;
    }
    if (currentUnitType >= 9 && currentUnitType <= 13) {
        return currentUnitType;
    }
    return 10;
}

}  // namespace fota
