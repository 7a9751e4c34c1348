// Feeds arbitrary text, line by line, to the HEX loader, then walks the image
// as the upgrade does and dumps it. Checks the block invariants on the way.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "image/HexText.h"
#include "image/UFirmware.h"
#include "platform/Convert.h"
#include "tests/fuzz/Require.h"

using fota::fuzz::require;

namespace {

void walk(fota::TFirmware& fw, std::int32_t num) {
    fota::TPacketArray ris;
    std::int64_t total = 0;
    fw.first();
    for (std::int32_t n = fw.extractHex(num, ris); n != 0; n = fw.extractHex(num, ris)) {
        const fota::TBlock& b = fw.buff[static_cast<std::size_t>(fw.index - 1)];
        require(static_cast<std::size_t>(n) == ris.size());
        require(n == 1 + (b.dim + num - 1) / num);
        require(ris[0].bytes[0] == 0x12 && ris[0].bytes[7] == 0x12);
        total += ris[0].bytes[1] * 256 + ris[0].bytes[2];
    }
    require(ris.empty());
    require(total == fw.totalByte());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    fota::TFirmware fw;
    // Unlike the loader, go on after a rejected line (a few times: throwing
    // is slow) to reach more states.
    int rejected = 0;
    for (const std::string& line : fota::SplitHexLines(text)) {
        try {
            fw.addHex(line);
        } catch (const fota::ConvertError&) {
            if (++rejected == 4) {
                break;
            }
        }
    }
    for (const fota::TBlock& b : fw.buff) {
        require(b.dim >= 0 && b.dim <= fota::TFirmware::MAX_BYTE);
        require(static_cast<std::size_t>(b.dim) == b.block.size());
    }
    walk(fw, 8);
    walk(fw, size > 0 ? 1 + data[0] % 8 : 1);

    std::vector<std::string> prn;
    fw.printHex(prn);
    require(prn.size() == 3 * fw.buff.size());

    std::int32_t value = 0;
    (void)fota::TryStrToInt(std::string(text.substr(0, 64)), value);
    return 0;
}
