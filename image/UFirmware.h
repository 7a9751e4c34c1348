#pragma once
// The firmware image model: an Intel HEX image gathered into address blocks
// of at most 512 bytes, and each block cut into a packet group of 8-byte
// packets with a block checksum for the transfer to the trainer.
//
// Loading: one addHex call per line of the HEX text, in file order. Only data
// records (type 00) add bytes, and only their 16-bit record addresses count:
// the upper address word of type 04 records is never applied. A block is cut
// every 512 bytes counted from the start of each gap-free run of data (not at
// absolute 512-byte boundaries); a record at any address other than the end
// of the last block starts a new block.
//
// Sending: first(), then extractHex(8, ris) until it returns 0; each call
// yields the packet group of the next block:
//   packet 0      0x12, dim (hi, lo), address (hi, lo), BlockCrc (hi, lo), 0x12
//   packets 1..n  the block's bytes, `num` per packet, the last one zero-filled
//
// A TFirmware belongs to one thread (the upgrade worker); it has no lock.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/Convert.h"

namespace fota {

// One 8-byte packet of a packet group, sent unchanged.
struct TPacket {
    std::array<std::uint8_t, 8> bytes{};
};

// A packet group, in sending order (header packet first).
using TPacketArray = std::vector<TPacket>;

// One run of consecutive image bytes.
struct TBlock {
    std::uint16_t address = 0;        // address of block[0]
    std::vector<std::uint8_t> block;  // the bytes, in address order
    std::int32_t dim = 0;             // always block.size()
};

// Start and end mark of a packet group's header packet.
inline constexpr std::uint8_t kPacketGroupMark = 0x12;

// The 16-bit block checksum: a right-shifting CRC with polynomial 0x6C49,
// initial value 0, no final inversion ("abc" -> 0x4C45, "123456789" -> 0x48D3).
std::uint16_t BlockCrc(std::span<const std::uint8_t> bytes);

class TFirmware {
public:
    // The largest number of bytes a block holds.
    static constexpr std::int32_t MAX_BYTE = 512;

    // Create: no blocks, index 0.
    TFirmware() = default;

    // Parses one line of Intel HEX text (without its line break) and appends
    // the bytes of a data record to the blocks. Characters are read at fixed
    // positions: count 2-3, address 4-7, type 8-9, data from 10. The start
    // character and the checksum are not examined, records of a type other
    // than 0 change nothing, characters after the last data byte are ignored.
    // Throws ConvertError ("'$<field>' is not a valid integer value") for a
    // field that is not hexadecimal or is cut short by the end of the line;
    // what earlier lines and earlier bytes of this line added stays.
    void addHex(const std::string& line);

    // Appends an empty block at address 0 (addHex then sets its address).
    void creaNuovoBlocco();

    // Restarts the walk at the first block.
    void first();

    // Fills ris with the packet group of the block at index and advances index.
    // num: block bytes per data packet, 1 to 8 (the upgrade passes 8); other
    // values throw std::invalid_argument. Returns the number of packets
    // (header included), or 0 with ris empty when no block is left.
    std::int32_t extractHex(std::int32_t num, TPacketArray& ris);

    // The number of image bytes: the sum of dim over all blocks.
    std::int32_t totalByte() const;

    // The number of blocks (one burst per block), kept to 16 bits.
    std::uint16_t totBurst() const;

    // Appends three lines per block: "Block (NN) Address HHHH   Bytes: D ",
    // the bytes as "%.2X " each, and 53 hyphens.
    void printHex(std::vector<std::string>& prn) const;

    std::vector<TBlock> buff;  // in the order the HEX text created them
    std::int32_t index = 0;    // next block extractHex takes
};

}  // namespace fota
