// The integer conversion of every number the program reads from text (the
// channel settings dialog, the device numbers, HEX fields): it never crashes,
// the throwing and the non-throwing forms agree, and a value it accepts reads
// back the same from its decimal and hexadecimal spellings.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/Convert.h"
#include "tests/fuzz/Require.h"

using fota::fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::int32_t tried = 12345;
    const bool ok = fota::TryStrToInt(text, tried);
    bool threw = false;
    std::int32_t value = 0;
    try {
        value = fota::StrToInt(text);
    } catch (const fota::ConvertError& e) {
        threw = true;
        require(e.text() == text);
    }
    require(ok != threw);
    if (!ok) {
        require(tried == 12345);  // untouched on failure
        return 0;
    }
    require(value == tried);

    // Only spaces, a sign, a prefix and digits make a number.
    for (const char c : text) {
        const bool allowed = c == ' ' || c == '+' || c == '-' || c == '$' || c == 'x' || c == 'X' ||
                             (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') ||
                             (c >= 'A' && c <= 'F');
        require(allowed);
    }

    char spelled[32];
    std::snprintf(spelled, sizeof spelled, "%d", static_cast<int>(value));
    require(fota::StrToInt(spelled) == value);
    std::snprintf(spelled, sizeof spelled, "$%X", static_cast<unsigned>(value));
    require(fota::StrToInt(spelled) == value);
    std::snprintf(spelled, sizeof spelled, "  0x%x", static_cast<unsigned>(value));
    require(fota::StrToInt(spelled) == value);
    return 0;
}
