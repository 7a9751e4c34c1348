#pragma once
// The identification header of a demo image.
//
// The demo images (made by tools/fota-mkdemo) carry this header in their
// first data bytes, at the image's lowest address. It tells the simulated
// trainer what it becomes when it restarts into the image, and lets it check
// that it received the whole image unchanged. Real images have no such
// header; an image is a demo image exactly when its first bytes parse here.
//
// Layout, 48 bytes, multi-byte numbers high byte first:
//
//   offset size  field
//        0    8  magic "FOTADEMO"
//        8    1  layout version, 1
//        9    1  header size, 48
//       10   16  image name, ASCII, NUL-padded ("FW_KOV_128B")
//       26    8  model code, ASCII, NUL-padded: KOV PU LO WEK DUF TOBE GILNO
//                MUSEK, or BOOT for the bootloaders
//       34    1  controller class: 0 = 64, 1 = 128, 2 = 128B, 3 = 256
//       35    1  firmware version the trainer reports after the restart
//       36    1  firmware sub-version it reports
//       37    1  unit type it reports; 0 (kKeepBootloaderUnitType) = keep the
//                model: the trainer reports the bootloader unit type of its
//                model, BootloaderUnitType(current unit type). The two
//                bootloader images serve every model, so they carry 0.
//       38    2  reserved, 0
//       40    4  image size: all bytes of the image, this header included
//       44    4  CRC-32 (IEEE 802.3, as zlib) of the bytes after the header
//
// Demo bootloaders report version 1 with sub-version 85 (BOOTLOADER64) or 86
// (BOOTLOADER128). Demo firmware reports a version of its controller class
// that the upgrade takes as finished (114 or more), a non-zero sub-version
// (so the version reply carries the unit type), and the firmware unit type
// of its model: KOV 14, LO 15, PU 16, WEK 17, DUF 18, TOBE 19, GILNO and
// MUSEK 20.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace fota {

inline constexpr std::string_view kDemoMagic = "FOTADEMO";
inline constexpr std::uint8_t kDemoLayoutVersion = 1;
inline constexpr std::size_t kDemoHeaderSize = 48;
inline constexpr std::size_t kDemoNameSize = 16;
inline constexpr std::size_t kDemoModelSize = 8;
inline constexpr std::uint8_t kKeepBootloaderUnitType = 0;

enum class ControllerClass : std::uint8_t { C64 = 0, C128 = 1, C128B = 2, C256 = 3 };

// "64", "128", "128B", "256".
std::string_view ToString(ControllerClass c);

struct DemoHeader {
    std::string name;   // at most 15 characters
    std::string model;  // at most 7 characters
    ControllerClass controller = ControllerClass::C64;
    std::uint8_t version = 0;
    std::uint8_t subVersion = 0;
    std::uint8_t unitType = kKeepBootloaderUnitType;
    std::uint32_t imageSize = 0;
    std::uint32_t payloadCrc = 0;

    bool operator==(const DemoHeader&) const = default;
};

// The 48 header bytes. Names and models longer than their fields are cut.
std::array<std::uint8_t, kDemoHeaderSize> EncodeDemoHeader(const DemoHeader& header);

// Reads the header from the first bytes of an image. Empty when the bytes are
// too few, the magic, layout version or size differ, a text field is not
// NUL-terminated printable ASCII, or the controller class is unknown.
std::optional<DemoHeader> ParseDemoHeader(std::span<const std::uint8_t> image);

// True when image (all bytes, header first) is as long as the header says and
// the bytes after the header match its CRC: the whole image, unchanged.
bool DemoImageComplete(const DemoHeader& header, std::span<const std::uint8_t> image);

// CRC-32 as zlib computes it (reflected, polynomial 0xEDB88320, inverted).
std::uint32_t Crc32(std::span<const std::uint8_t> bytes);

// The unit type a trainer reports from its bootloader, from the unit type its
// firmware reported: KOV 14 -> 9, PU 16 -> 11, LO 15 -> 12, WEK 17 -> 13;
// a bootloader unit type (9 to 13) stays; every other model gives 10, the
// unit type for which the bootloader stage has no firmware image.
std::uint8_t BootloaderUnitType(std::uint8_t currentUnitType);

}  // namespace fota
