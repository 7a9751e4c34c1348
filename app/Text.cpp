#include "app/Text.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <optional>

namespace fota::cli {

namespace {

// The code point of the UTF-8 sequence at text[i] and its length, or nullopt
// for a byte that starts no valid sequence (overlong forms, surrogates and
// values above U+10FFFF are not valid).
std::optional<std::pair<std::uint32_t, std::size_t>> decodeUtf8(std::string_view text,
                                                                std::size_t i) {
    const auto b0 = static_cast<unsigned char>(text[i]);
    if (b0 < 0x80) {
        return std::pair<std::uint32_t, std::size_t>{b0, 1};
    }
    std::size_t len = 0;
    std::uint32_t cp = 0;
    std::uint32_t min = 0;
    if ((b0 & 0xE0) == 0xC0) {
        len = 2;
        cp = b0 & 0x1F;
        min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3;
        cp = b0 & 0x0F;
        min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4;
        cp = b0 & 0x07;
        min = 0x10000;
    } else {
        return std::nullopt;
    }
    if (i + len > text.size()) {
        return std::nullopt;
    }
    for (std::size_t k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(text[i + k]);
        if ((b & 0xC0) != 0x80) {
            return std::nullopt;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        return std::nullopt;
    }
    return std::pair<std::uint32_t, std::size_t>{cp, len};
}

void appendHexByte(std::string& out, const char* prefix, unsigned value, int digits) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%s%0*X", prefix, digits, value);
    out += buffer;
}

}  // namespace

std::string JsonString(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    out.push_back('"');
    std::size_t i = 0;
    while (i < text.size()) {
        const auto decoded = decodeUtf8(text, i);
        if (!decoded) {
            out += "\\ufffd";
            ++i;
            continue;
        }
        const auto [cp, len] = *decoded;
        switch (cp) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (cp < 0x20 || cp == 0x7F) {
                    appendHexByte(out, "\\u", cp, 4);
                } else {
                    out.append(text.substr(i, len));
                }
        }
        i += len;
    }
    out.push_back('"');
    return out;
}

std::string TerminalText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto decoded = decodeUtf8(text, i);
        const bool control =
            decoded && (decoded->first < 0x20 || (decoded->first >= 0x7F && decoded->first < 0xA0));
        if (!decoded || control) {
            appendHexByte(out, "\\x", static_cast<unsigned char>(text[i]), 2);
            ++i;
            continue;
        }
        out.append(text.substr(i, decoded->second));
        i += decoded->second;
    }
    return out;
}

std::string Clock(double seconds) {
    if (!std::isfinite(seconds) || seconds < 0 || seconds > 1e7) {
        return "--:--";
    }
    const auto total = static_cast<long long>(seconds + 0.5);
    char buffer[32];
    if (total >= 3600) {
        std::snprintf(buffer, sizeof buffer, "%lld:%02lld:%02lld", total / 3600, total / 60 % 60,
                      total % 60);
    } else {
        std::snprintf(buffer, sizeof buffer, "%lld:%02lld", total / 60, total % 60);
    }
    return buffer;
}

}  // namespace fota::cli
