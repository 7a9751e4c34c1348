#include "image/HexText.h"

namespace fota {

std::vector<std::string> SplitHexLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.emplace_back(text.substr(start, i - start));
            i += (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
            start = i;
        } else {
            ++i;
        }
    }
    if (start < text.size()) {
        lines.emplace_back(text.substr(start));
    }
    return lines;
}

void LoadHexText(std::string_view text, TFirmware& fw) {
    const std::vector<std::string> lines = SplitHexLines(text);
    for (std::size_t n = 0; n < lines.size(); ++n) {
        try {
            fw.addHex(lines[n]);
        } catch (const ConvertError& e) {
            throw HexLineError(e, n + 1);
        }
    }
}

std::vector<std::uint8_t> ConcatenatedBytes(const TFirmware& fw) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(static_cast<std::size_t>(fw.totalByte() > 0 ? fw.totalByte() : 0));
    for (const TBlock& b : fw.buff) {
        bytes.insert(bytes.end(), b.block.begin(), b.block.end());
    }
    return bytes;
}

}  // namespace fota
