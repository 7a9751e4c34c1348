#pragma once
// The 8-byte pages exchanged with the trainer during an upgrade. Each layout
// is declared once: named fields, one encode, one decode. Multi-byte numbers
// on the air are big-endian.

#include <array>
#include <cstdint>
#include <optional>

namespace fota {

using Page = std::array<std::uint8_t, 8>;

namespace page {
inline constexpr std::uint8_t kRead = 0x02;
inline constexpr std::uint8_t kWrite = 0x03;
inline constexpr std::uint8_t kProgramModeStart = 0x10;
inline constexpr std::uint8_t kVersion = 0x11;
inline constexpr std::uint8_t kBlockHeader = 0x12;
inline constexpr std::uint8_t kBlockAck = 0x13;
inline constexpr std::uint8_t kProgramModeExit = 0x14;
inline constexpr std::uint8_t kCommandAck = 0xFF;
inline constexpr std::uint8_t kItemUnitType = 0x10;
inline constexpr std::uint8_t kItemZeroPosition = 0x1D;
}  // namespace page

// ---- Pages the upgrade sends (acknowledged data).

// 02 10 00 01 00 00 00 02
struct UnitTypeRequest {
    Page encode() const;
    static std::optional<UnitTypeRequest> decode(const Page& p);
};

// 02 1D 00 01 00 00 00 00
struct ZeroPositionReadRequest {
    Page encode() const;
    static std::optional<ZeroPositionReadRequest> decode(const Page& p);
};

// 03 1D 00 01 <zero position> 00 00 00
struct ZeroPositionWriteRequest {
    std::uint8_t zeroPosition = 0;
    Page encode() const;
    static std::optional<ZeroPositionWriteRequest> decode(const Page& p);
};

// 11 00 00 00 00 00 00 11
struct VersionRequest {
    Page encode() const;
    static std::optional<VersionRequest> decode(const Page& p);
};

// 10 <image size, 24 bits> 00 00 00 10; bits above 23 are not sent.
struct ProgramModeStart {
    std::uint32_t imageSize = 0;
    Page encode() const;
    static std::optional<ProgramModeStart> decode(const Page& p);
};

// 13 <block address hi> <lo> 00 00 00 00 13
struct BlockAckRequest {
    std::uint16_t blockAddress = 0;
    Page encode() const;
    static std::optional<BlockAckRequest> decode(const Page& p);
};

// 14 01 00 00 00 00 00 14
struct ProgramModeExit {
    Page encode() const;
    static std::optional<ProgramModeExit> decode(const Page& p);
};

// ---- The first packet of a packet group (one burst per image block).

// 12 <size hi> <lo> <address hi> <lo> <checksum hi> <lo> 12
struct BlockHeader {
    std::uint16_t size = 0;
    std::uint16_t address = 0;
    std::uint16_t checksum = 0;
    Page encode() const;
    static std::optional<BlockHeader> decode(const Page& p);
};

// ---- Pages the trainer sends.

// 11 <version> <sub-version> <unit type> ...; the unit type counts only when
// the sub-version is not 0 (and never from a broadcast).
struct VersionReply {
    std::uint8_t version = 0;
    std::uint8_t subVersion = 0;
    std::uint8_t unitType = 0;
    Page encode() const;
    static std::optional<VersionReply> decode(const Page& p);
};

// 02 <value> ...: the unit type or the zero position, whichever was asked.
struct ReadReply {
    std::uint8_t value = 0;
    Page encode() const;
    static std::optional<ReadReply> decode(const Page& p);
};

// FF <acknowledged command> ...
struct CommandAck {
    std::uint8_t command = 0;
    Page encode() const;
    static std::optional<CommandAck> decode(const Page& p);
};

// 13 xx <block address hi> <lo> ...: the address one byte later than in the request.
struct BlockAck {
    std::uint16_t blockAddress = 0;
    Page encode() const;
    static std::optional<BlockAck> decode(const Page& p);
};

// ---- Pages of the diagnostic controls (broadcast data).

// 09 01 00 00 00 00 00 00
struct SelectConsolePage {
    Page encode() const;
};
// 01 FF 00 00 00 00 00 00
struct MaxResistancePage {
    Page encode() const;
};

}  // namespace fota
