#pragma once
// The demo image set: 29 deterministic Intel HEX images shaped like the real
// ones, each starting with the demo header (image/DemoHeader.h) and filled
// with pseudo-random bytes after it.
//
// Shape of every image: an extended linear address record (type 04) first;
// data records of mostly 16 bytes, a few of 12, 8 or 4; a start linear
// address record (type 05) last but one; the end-of-file record (type 01)
// last. Upper-case hex, correct checksums, CR LF line ends. The data is one
// gap-free run from 0x1000 (upper word 0x0010), ending at or before 0xB7F8,
// or from 0x4000 (upper word 0x0040) for the 256 images, ending at or before
// 0xF4A0. Sizes lie between 12,336 bytes (25 blocks) and 46,240 bytes (91
// blocks) and are multiples of 4.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "image/DemoHeader.h"

namespace fota::demo {

struct ImageSpec {
    std::string_view name;
    std::string_view model;  // "BOOT" for the bootloaders
    ControllerClass controller;
    std::uint8_t version;     // reported after the restart into the image
    std::uint8_t subVersion;  //
    std::uint8_t unitType;    // kKeepBootloaderUnitType for the bootloaders
    std::uint32_t size;       // image bytes, header included
};

// The 29 images, in the order of kImageNames.
std::span<const ImageSpec> Specs();

// The first 16-bit record address of an image and the address its data may
// not pass (the end of the run, exclusive).
std::uint16_t BaseAddress(const ImageSpec& spec);
std::uint32_t EndLimit(const ImageSpec& spec);

// The image's bytes, header first.
std::vector<std::uint8_t> MakeBytes(const ImageSpec& spec);

// The image as Intel HEX text.
std::string MakeHex(const ImageSpec& spec);

}  // namespace fota::demo
