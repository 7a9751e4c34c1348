#include "platform/Convert.h"

#include <cstddef>

namespace fota {

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

ConvertError::ConvertError(const std::string& text)
    : std::runtime_error("'" + text + "' is not a valid integer value"), text_(text) {}

bool TryStrToInt(const std::string& text, std::int32_t& value) {
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n && text[i] == ' ') {
        ++i;
    }
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }

    bool hex = false;
    if (i < n && text[i] == '$') {
        hex = true;
        i += 1;
    } else if (i < n && (text[i] == 'x' || text[i] == 'X')) {
        hex = true;
        i += 1;
    } else if (i + 1 < n && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    if (i >= n) {
        return false;  // no digits
    }

    // Magnitudes are gathered in 64 bits; both limits below stay far from overflow.
    std::uint64_t magnitude = 0;
    if (hex) {
        if (n - i > 8) {
            return false;
        }
        for (; i < n; ++i) {
            const int d = HexDigitValue(text[i]);
            if (d < 0) {
                return false;
            }
            magnitude = magnitude * 16 + static_cast<std::uint64_t>(d);
        }
        // The 32-bit pattern, read as signed, then the sign applied with wrap-around.
        const auto pattern = static_cast<std::uint32_t>(magnitude);
        const std::uint32_t result = negative ? 0u - pattern : pattern;
        value = static_cast<std::int32_t>(result);
        return true;
    }

    const std::uint64_t limit = negative ? 2147483648ull : 2147483647ull;
    for (; i < n; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') {
            return false;
        }
        magnitude = magnitude * 10 + static_cast<std::uint64_t>(c - '0');
        if (magnitude > limit) {
            return false;
        }
    }
    const auto pattern = static_cast<std::uint32_t>(magnitude);
    value = static_cast<std::int32_t>(negative ? 0u - pattern : pattern);
    return true;
}

std::int32_t StrToInt(const std::string& text) {
    std::int32_t value = 0;
    if (!TryStrToInt(text, value)) {
        throw ConvertError(text);
    }
    return value;
}

}  // namespace fota
