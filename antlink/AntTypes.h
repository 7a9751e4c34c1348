#pragma once
// Types shared by the program and the ANT library.

#include <array>
#include <cstdint>
#include <functional>

namespace fota::ant {

using UCHAR = std::uint8_t;
using USHORT = std::uint16_t;
using ULONG = std::uint32_t;
using BOOL = int;
inline constexpr BOOL TRUE = 1;
inline constexpr BOOL FALSE = 0;

// The buffers the program registers with the library.
using TxBuffer = std::array<std::uint8_t, 8>;
using RxBuffer = std::array<std::uint8_t, 9>;
using ResponseBuffer = std::array<std::uint8_t, 4>;

// Callbacks: (channel, message ID) for responses, (channel, event code) for
// channel events. The Boolean result carries nothing.
using ResponseFunc = std::function<bool(UCHAR channel, UCHAR messageId)>;
using ChannelEventFunc = std::function<bool(UCHAR channel, UCHAR eventCode)>;

}  // namespace fota::ant
