#include "image/UFirmware.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <stdexcept>
#include <utility>

namespace fota {

namespace {

// The value of the `length` characters from 1-based position `pos`, read as
// hexadecimal: the field converted as "$" followed by its characters. A field
// cut short by the end of the line fails like a non-hexadecimal one, naming
// the characters that are there.
std::uint32_t readField(const std::string& line, std::size_t pos, std::size_t length) {
    std::string text(1, '$');
    text.append(line, std::min(pos - 1, line.size()), length);
    std::int32_t value = 0;
    if (text.size() != length + 1 || !TryStrToInt(text, value)) {
        throw ConvertError(text);
    }
    return static_cast<std::uint32_t>(value);
}

}  // namespace

std::uint16_t BlockCrc(std::span<const std::uint8_t> bytes) {
    std::uint16_t crc = 0;
    for (const std::uint8_t b : bytes) {
        crc ^= b;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1u) ? static_cast<std::uint16_t>((crc >> 1) ^ 0x6C49u)
                             : static_cast<std::uint16_t>(crc >> 1);
        }
    }
    return crc;
}

void TFirmware::creaNuovoBlocco() {
    buff.emplace_back();
}

void TFirmware::addHex(const std::string& line) {
    const auto count = static_cast<std::uint8_t>(readField(line, 2, 2));
    const auto address = static_cast<std::uint16_t>(readField(line, 4, 4));
    const auto type = static_cast<std::uint8_t>(readField(line, 8, 2));
    if (type != 0) {
        return;
    }

    // The record continues the last block only where that block ends (no
    // 16-bit wrap-around) and while it has room; otherwise a block starts here.
    if (buff.empty()) {
        creaNuovoBlocco();
        buff.back().address = address;
    } else {
        const TBlock& last = buff.back();
        const std::int64_t end = std::int64_t{last.address} + last.dim;
        if (end != address || last.dim >= MAX_BYTE) {
            creaNuovoBlocco();
            buff.back().address = address;
        }
    }

    for (std::size_t k = 0; k < count; ++k) {
        const auto value = static_cast<std::uint8_t>(readField(line, 10 + 2 * k, 2));
        if (buff.back().dim >= MAX_BYTE) {
            const auto next = static_cast<std::uint16_t>(buff.back().address + MAX_BYTE);
            creaNuovoBlocco();
            buff.back().address = next;
        }
        TBlock& target = buff.back();
        target.block.push_back(value);
        target.dim = static_cast<std::int32_t>(target.block.size());
    }
}

void TFirmware::first() {
    index = 0;
}

std::int32_t TFirmware::extractHex(std::int32_t num, TPacketArray& ris) {
    if (num < 1 || num > static_cast<std::int32_t>(TPacket{}.bytes.size())) {
        throw std::invalid_argument("extractHex: bytes per packet must be 1 to 8, not " +
                                    std::to_string(num));
    }
    ris.clear();
    if (index < 0 || static_cast<std::size_t>(index) >= buff.size()) {
        return 0;
    }
    const TBlock& b = buff[static_cast<std::size_t>(index)];
    const std::uint16_t crc = BlockCrc(b.block);
    const auto dim = static_cast<std::uint16_t>(b.dim);

    TPacket header;
    header.bytes = {kPacketGroupMark,
                    static_cast<std::uint8_t>(dim >> 8),
                    static_cast<std::uint8_t>(dim & 0xFF),
                    static_cast<std::uint8_t>(b.address >> 8),
                    static_cast<std::uint8_t>(b.address & 0xFF),
                    static_cast<std::uint8_t>(crc >> 8),
                    static_cast<std::uint8_t>(crc & 0xFF),
                    kPacketGroupMark};
    ris.push_back(header);

    const std::size_t size = b.block.size();
    const auto perPacket = static_cast<std::size_t>(num);
    for (std::size_t j = 0; j < size; j += perPacket) {
        TPacket data;
        for (std::size_t k = 0; k < perPacket && j + k < size; ++k) {
            data.bytes[k] = b.block[j + k];
        }
        ris.push_back(data);
    }
    ++index;
    return static_cast<std::int32_t>(ris.size());
}

std::int32_t TFirmware::totalByte() const {
    std::uint32_t total = 0;  // unsigned: wraps like the 32-bit field, never overflows
    for (const TBlock& b : buff) {
        total += static_cast<std::uint32_t>(b.dim);
    }
    return static_cast<std::int32_t>(total);
}

std::uint16_t TFirmware::totBurst() const {
    return static_cast<std::uint16_t>(buff.size());
}

void TFirmware::printHex(std::vector<std::string>& prn) const {
    static const std::string kRule(53, '-');
    char text[64];
    for (std::size_t n = 0; n < buff.size(); ++n) {
        const TBlock& b = buff[n];
        std::snprintf(text, sizeof text, "Block (%.2zu) Address %.4X   Bytes: %d ", n,
                      static_cast<unsigned>(b.address), static_cast<int>(b.dim));
        prn.emplace_back(text);
        std::string bytes;
        bytes.reserve(b.block.size() * 3);
        for (const std::uint8_t v : b.block) {
            std::snprintf(text, sizeof text, "%.2X ", static_cast<unsigned>(v));
            bytes += text;
        }
        prn.push_back(std::move(bytes));
        prn.push_back(kRule);
    }
}

}  // namespace fota
