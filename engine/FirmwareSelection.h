#pragma once
// The controller class of a firmware version, read from the version number.

#include <cstdint>

namespace fota {

bool Is256Micro(std::int32_t V);         // 129, 130, 132, 134
bool Is64Micro(std::int32_t V);          // 112, 116, 117, 120-123
bool IsNotBluetooth128(std::int32_t V);  // 94-96, 99, 107, 113, 114, 118, 124, 127
bool IsBluetooth128B(std::int32_t V);    // 97-98, 100-106, 108-111, 115, 119, 125, 126, 131, 133
bool NeedsMusekUpgrade(std::int32_t V);  // 27 or less

}  // namespace fota
