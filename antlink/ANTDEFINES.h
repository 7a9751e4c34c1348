#pragma once
// Constants of the ANT serial message protocol that the program and the
// simulated stick use: message IDs, channel event codes, response codes.

#include <cstdint>

namespace fota::ant {

// Framing.
inline constexpr std::uint8_t MESG_TX_SYNC = 0xA4;
inline constexpr std::uint8_t MESG_MAX_DATA_SIZE = 32;  // longest payload the decoder believes

// Message IDs.
inline constexpr std::uint8_t MESG_EVENT_ID = 0x01;  // in a channel response: an RF event
inline constexpr std::uint8_t MESG_RESPONSE_EVENT_ID = 0x40;
inline constexpr std::uint8_t MESG_UNASSIGN_CHANNEL_ID = 0x41;
inline constexpr std::uint8_t MESG_ASSIGN_CHANNEL_ID = 0x42;
inline constexpr std::uint8_t MESG_CHANNEL_MESG_PERIOD_ID = 0x43;
inline constexpr std::uint8_t MESG_CHANNEL_SEARCH_TIMEOUT_ID = 0x44;
inline constexpr std::uint8_t MESG_CHANNEL_RADIO_FREQ_ID = 0x45;
inline constexpr std::uint8_t MESG_NETWORK_KEY_ID = 0x46;
inline constexpr std::uint8_t MESG_SYSTEM_RESET_ID = 0x4A;
inline constexpr std::uint8_t MESG_OPEN_CHANNEL_ID = 0x4B;
inline constexpr std::uint8_t MESG_CLOSE_CHANNEL_ID = 0x4C;
inline constexpr std::uint8_t MESG_REQUEST_ID = 0x4D;
inline constexpr std::uint8_t MESG_BROADCAST_DATA_ID = 0x4E;
inline constexpr std::uint8_t MESG_ACKNOWLEDGED_DATA_ID = 0x4F;
inline constexpr std::uint8_t MESG_BURST_DATA_ID = 0x50;
inline constexpr std::uint8_t MESG_CHANNEL_ID_ID = 0x51;
inline constexpr std::uint8_t MESG_STARTUP_MESG_ID = 0x6F;
inline constexpr std::uint8_t MESG_SERIAL_ERROR_ID = 0xAE;

// Channel event codes (message 0x40 with message ID 0x01).
inline constexpr std::uint8_t EVENT_RX_SEARCH_TIMEOUT = 0x01;
inline constexpr std::uint8_t EVENT_RX_FAIL = 0x02;
inline constexpr std::uint8_t EVENT_TX = 0x03;
inline constexpr std::uint8_t EVENT_TRANSFER_RX_FAILED = 0x04;
inline constexpr std::uint8_t EVENT_TRANSFER_TX_COMPLETED = 0x05;
inline constexpr std::uint8_t EVENT_TRANSFER_TX_FAILED = 0x06;
inline constexpr std::uint8_t EVENT_CHANNEL_CLOSED = 0x07;
inline constexpr std::uint8_t EVENT_RX_FAIL_GO_TO_SEARCH = 0x08;
inline constexpr std::uint8_t EVENT_CHANNEL_COLLISION = 0x09;
inline constexpr std::uint8_t EVENT_TRANSFER_TX_START = 0x0A;

// Codes the library gives the channel-event callback for received data.
inline constexpr std::uint8_t EVENT_RX_BROADCAST = 0x9A;
inline constexpr std::uint8_t EVENT_RX_ACKNOWLEDGED = 0x9B;
inline constexpr std::uint8_t EVENT_RX_BURST_PACKET = 0x9C;

// Response codes (message 0x40, third byte).
inline constexpr std::uint8_t RESPONSE_NO_ERROR = 0x00;
inline constexpr std::uint8_t CHANNEL_IN_WRONG_STATE = 0x15;
inline constexpr std::uint8_t CHANNEL_NOT_OPENED = 0x16;
inline constexpr std::uint8_t CHANNEL_ID_NOT_SET = 0x18;
inline constexpr std::uint8_t CLOSE_ALL_CHANNELS = 0x19;
inline constexpr std::uint8_t TRANSFER_IN_PROGRESS = 0x1F;
inline constexpr std::uint8_t TRANSFER_SEQUENCE_NUMBER_ERROR = 0x20;
inline constexpr std::uint8_t TRANSFER_IN_ERROR = 0x21;
inline constexpr std::uint8_t INVALID_MESSAGE = 0x28;
inline constexpr std::uint8_t INVALID_NETWORK_NUMBER = 0x29;
inline constexpr std::uint8_t INVALID_PARAMETER_PROVIDED = 0x33;

// Burst channel byte: sequence number in bits 5-6, last packet in bit 7.
inline constexpr std::uint8_t BURST_SEQUENCE_SHIFT = 5;
inline constexpr std::uint8_t BURST_SEQUENCE_MASK = 0x60;
inline constexpr std::uint8_t BURST_LAST_PACKET = 0x80;
inline constexpr std::uint8_t BURST_CHANNEL_MASK = 0x1F;

// Channel types.
inline constexpr std::uint8_t CHANNEL_TYPE_SLAVE = 0x00;
inline constexpr std::uint8_t CHANNEL_TYPE_MASTER = 0x10;

// Sizes of the two buffers the library writes before it calls back.
inline constexpr int RESPONSE_BUFFER_SIZE = 4;
inline constexpr int RX_BUFFER_SIZE = 9;

// USB ids of ANT sticks.
inline constexpr std::uint16_t USB_VENDOR_DYNASTREAM = 0x0FCF;
inline constexpr std::uint16_t USB_PRODUCT_ANTUSB1 = 0x1004;
inline constexpr std::uint16_t USB_PRODUCT_ANTUSB2 = 0x1008;
inline constexpr std::uint16_t USB_PRODUCT_ANTUSB_M = 0x1009;

}  // namespace fota::ant
