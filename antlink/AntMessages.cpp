#include "antlink/AntMessages.h"

#include <algorithm>
#include <array>

#include "antlink/ANTDEFINES.h"
#include "antlink/AntFrame.h"

namespace fota::ant {

namespace {

UCHAR low(USHORT v) {
    return static_cast<UCHAR>(v & 0xFF);
}
UCHAR high(USHORT v) {
    return static_cast<UCHAR>(v >> 8);
}

Bytes dataMessage(UCHAR id, UCHAR channel, std::span<const UCHAR, 8> page) {
    std::array<UCHAR, 9> payload{};
    payload[0] = channel;
    std::copy(page.begin(), page.end(), payload.begin() + 1);
    return encodeFrame(id, payload);
}

}  // namespace

Bytes resetSystemMessage() {
    const std::array<UCHAR, 1> payload{0x00};
    return encodeFrame(MESG_SYSTEM_RESET_ID, payload);
}

Bytes networkKeyMessage(UCHAR net, std::span<const UCHAR, 8> key) {
    std::array<UCHAR, 9> payload{};
    payload[0] = net;
    std::copy(key.begin(), key.end(), payload.begin() + 1);
    return encodeFrame(MESG_NETWORK_KEY_ID, payload);
}

Bytes assignChannelMessage(UCHAR channel, UCHAR channelType, UCHAR net) {
    const std::array<UCHAR, 3> payload{channel, channelType, net};
    return encodeFrame(MESG_ASSIGN_CHANNEL_ID, payload);
}

Bytes channelIdMessage(UCHAR channel, USHORT deviceNumber, UCHAR deviceType,
                       UCHAR transmissionType) {
    const std::array<UCHAR, 5> payload{channel, low(deviceNumber), high(deviceNumber), deviceType,
                                       transmissionType};
    return encodeFrame(MESG_CHANNEL_ID_ID, payload);
}

Bytes channelPeriodMessage(UCHAR channel, USHORT period) {
    const std::array<UCHAR, 3> payload{channel, low(period), high(period)};
    return encodeFrame(MESG_CHANNEL_MESG_PERIOD_ID, payload);
}

Bytes searchTimeoutMessage(UCHAR channel, UCHAR timeout) {
    const std::array<UCHAR, 2> payload{channel, timeout};
    return encodeFrame(MESG_CHANNEL_SEARCH_TIMEOUT_ID, payload);
}

Bytes rfFrequencyMessage(UCHAR channel, UCHAR rfFrequency) {
    const std::array<UCHAR, 2> payload{channel, rfFrequency};
    return encodeFrame(MESG_CHANNEL_RADIO_FREQ_ID, payload);
}

Bytes openChannelMessage(UCHAR channel) {
    const std::array<UCHAR, 1> payload{channel};
    return encodeFrame(MESG_OPEN_CHANNEL_ID, payload);
}

Bytes requestMessage(UCHAR channel, UCHAR id) {
    const std::array<UCHAR, 2> payload{channel, id};
    return encodeFrame(MESG_REQUEST_ID, payload);
}

Bytes broadcastDataMessage(UCHAR channel, std::span<const UCHAR, 8> page) {
    return dataMessage(MESG_BROADCAST_DATA_ID, channel, page);
}

Bytes acknowledgedDataMessage(UCHAR channel, std::span<const UCHAR, 8> page) {
    return dataMessage(MESG_ACKNOWLEDGED_DATA_ID, channel, page);
}

UCHAR burstChannelByte(UCHAR channel, std::size_t index, std::size_t count) {
    const unsigned sequence = index == 0 ? 0U : static_cast<unsigned>((index - 1) % 3 + 1);
    unsigned byte = (channel & BURST_CHANNEL_MASK) | (sequence << BURST_SEQUENCE_SHIFT);
    if (index + 1 == count) {
        byte |= BURST_LAST_PACKET;
    }
    return static_cast<UCHAR>(byte);
}

Bytes burstMessages(UCHAR channel, std::span<const UCHAR> data) {
    const std::size_t count = (data.size() + ANT_PAGE_SIZE - 1) / ANT_PAGE_SIZE;
    Bytes out;
    out.reserve(count * (ANT_PAGE_SIZE + 5));
    for (std::size_t i = 0; i < count; ++i) {
        std::array<UCHAR, 9> payload{};
        payload[0] = burstChannelByte(channel, i, count);
        const std::size_t from = i * ANT_PAGE_SIZE;
        const std::size_t n = std::min(ANT_PAGE_SIZE, data.size() - from);
        std::copy_n(data.begin() + static_cast<long>(from), n, payload.begin() + 1);
        const Bytes frame = encodeFrame(MESG_BURST_DATA_ID, payload);
        out.insert(out.end(), frame.begin(), frame.end());
    }
    return out;
}

}  // namespace fota::ant
