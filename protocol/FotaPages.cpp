#include "protocol/FotaPages.h"

namespace fota {

namespace {

constexpr std::uint8_t hi(std::uint16_t v) {
    return static_cast<std::uint8_t>(v >> 8);
}
constexpr std::uint8_t lo(std::uint16_t v) {
    return static_cast<std::uint8_t>(v & 0xFF);
}
constexpr std::uint16_t be16(std::uint8_t h, std::uint8_t l) {
    return static_cast<std::uint16_t>((h << 8) | l);
}

// A fixed page decodes only from exactly its own bytes.
template <typename T>
std::optional<T> exactly(const Page& p) {
    return p == T{}.encode() ? std::optional<T>(T{}) : std::nullopt;
}

}  // namespace

Page UnitTypeRequest::encode() const {
    return {page::kRead, page::kItemUnitType, 0x00, 0x01, 0x00, 0x00, 0x00, 0x02};
}
std::optional<UnitTypeRequest> UnitTypeRequest::decode(const Page& p) {
    return exactly<UnitTypeRequest>(p);
}

Page ZeroPositionReadRequest::encode() const {
    return {page::kRead, page::kItemZeroPosition, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00};
}
std::optional<ZeroPositionReadRequest> ZeroPositionReadRequest::decode(const Page& p) {
    return exactly<ZeroPositionReadRequest>(p);
}

Page ZeroPositionWriteRequest::encode() const {
    return {page::kWrite, page::kItemZeroPosition, 0x00, 0x01, zeroPosition, 0x00, 0x00, 0x00};
}
std::optional<ZeroPositionWriteRequest> ZeroPositionWriteRequest::decode(const Page& p) {
    if (p[0] != page::kWrite || p[1] != page::kItemZeroPosition) {
        return std::nullopt;
    }
    return ZeroPositionWriteRequest{p[4]};
}

Page VersionRequest::encode() const {
    return {page::kVersion, 0, 0, 0, 0, 0, 0, page::kVersion};
}
std::optional<VersionRequest> VersionRequest::decode(const Page& p) {
    return exactly<VersionRequest>(p);
}

Page ProgramModeStart::encode() const {
    return {page::kProgramModeStart,
            static_cast<std::uint8_t>(imageSize >> 16),
            static_cast<std::uint8_t>(imageSize >> 8),
            static_cast<std::uint8_t>(imageSize),
            0,
            0,
            0,
            page::kProgramModeStart};
}
std::optional<ProgramModeStart> ProgramModeStart::decode(const Page& p) {
    if (p[0] != page::kProgramModeStart || p[7] != page::kProgramModeStart) {
        return std::nullopt;
    }
    return ProgramModeStart{static_cast<std::uint32_t>((p[1] << 16) | (p[2] << 8) | p[3])};
}

Page BlockAckRequest::encode() const {
    return {page::kBlockAck, hi(blockAddress), lo(blockAddress), 0, 0, 0, 0, page::kBlockAck};
}
std::optional<BlockAckRequest> BlockAckRequest::decode(const Page& p) {
    if (p[0] != page::kBlockAck || p[7] != page::kBlockAck) {
        return std::nullopt;
    }
    return BlockAckRequest{be16(p[1], p[2])};
}

Page ProgramModeExit::encode() const {
    return {page::kProgramModeExit, 0x01, 0, 0, 0, 0, 0, page::kProgramModeExit};
}
std::optional<ProgramModeExit> ProgramModeExit::decode(const Page& p) {
    return exactly<ProgramModeExit>(p);
}

Page BlockHeader::encode() const {
    return {page::kBlockHeader, hi(size),     lo(size),     hi(address),
            lo(address),        hi(checksum), lo(checksum), page::kBlockHeader};
}
std::optional<BlockHeader> BlockHeader::decode(const Page& p) {
    if (p[0] != page::kBlockHeader || p[7] != page::kBlockHeader) {
        return std::nullopt;
    }
    return BlockHeader{be16(p[1], p[2]), be16(p[3], p[4]), be16(p[5], p[6])};
}

Page VersionReply::encode() const {
    return {page::kVersion, version, subVersion, unitType, 0, 0, 0, 0};
}
std::optional<VersionReply> VersionReply::decode(const Page& p) {
    if (p[0] != page::kVersion) {
        return std::nullopt;
    }
    return VersionReply{p[1], p[2], p[3]};
}

Page ReadReply::encode() const {
    return {page::kRead, value, 0, 0, 0, 0, 0, 0};
}
std::optional<ReadReply> ReadReply::decode(const Page& p) {
    if (p[0] != page::kRead) {
        return std::nullopt;
    }
    return ReadReply{p[1]};
}

Page CommandAck::encode() const {
    return {page::kCommandAck, command, 0, 0, 0, 0, 0, 0};
}
std::optional<CommandAck> CommandAck::decode(const Page& p) {
    if (p[0] != page::kCommandAck) {
        return std::nullopt;
    }
    return CommandAck{p[1]};
}

Page BlockAck::encode() const {
    return {page::kBlockAck, 0, hi(blockAddress), lo(blockAddress), 0, 0, 0, 0};
}
std::optional<BlockAck> BlockAck::decode(const Page& p) {
    if (p[0] != page::kBlockAck) {
        return std::nullopt;
    }
    return BlockAck{be16(p[2], p[3])};
}

Page SelectConsolePage::encode() const {
    return {0x09, 0x01, 0, 0, 0, 0, 0, 0};
}
Page MaxResistancePage::encode() const {
    return {0x01, 0xFF, 0, 0, 0, 0, 0, 0};
}

}  // namespace fota
