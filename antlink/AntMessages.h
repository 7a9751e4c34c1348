#pragma once
// The messages the library sends to a stick, as the bytes that go on the
// line. Multi-byte fields (device number, channel period) are little-endian,
// as the stick reads them.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "antlink/AntTypes.h"

namespace fota::ant {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::size_t ANT_PAGE_SIZE = 8;

Bytes resetSystemMessage();
Bytes networkKeyMessage(UCHAR net, std::span<const UCHAR, 8> key);
Bytes assignChannelMessage(UCHAR channel, UCHAR channelType, UCHAR net);
Bytes channelIdMessage(UCHAR channel, USHORT deviceNumber, UCHAR deviceType,
                       UCHAR transmissionType);
Bytes channelPeriodMessage(UCHAR channel, USHORT period);
Bytes searchTimeoutMessage(UCHAR channel, UCHAR timeout);
Bytes rfFrequencyMessage(UCHAR channel, UCHAR rfFrequency);
Bytes openChannelMessage(UCHAR channel);
// Asks the stick to send message `id` (for example its capabilities, 0x54).
Bytes requestMessage(UCHAR channel, UCHAR id);
Bytes broadcastDataMessage(UCHAR channel, std::span<const UCHAR, 8> page);
Bytes acknowledgedDataMessage(UCHAR channel, std::span<const UCHAR, 8> page);

// The channel byte of packet `index` (from 0) of a burst of `count` packets:
// the channel in bits 0-4, the sequence number in bits 5-6 (0 for the first
// packet, then 1, 2, 3, 1, 2, 3 ...), bit 7 on the last packet.
UCHAR burstChannelByte(UCHAR channel, std::size_t index, std::size_t count);

// A whole burst: one burst message per 8 bytes of data, back to back. The
// data's size is a multiple of 8 (a shorter tail is filled up with zeros).
Bytes burstMessages(UCHAR channel, std::span<const UCHAR> data);

}  // namespace fota::ant
