// The settings-store reader (an INI file as Qt writes it): any bytes parse
// without a crash, and every value it lists is the one find() returns.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/IniFile.h"
#include "tests/fuzz/Require.h"

using fota::fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const fota::IniFile ini = fota::IniFile::parse(text);
    for (const auto& [key, value] : ini.values()) {
        const fota::IniFile::Value* found = ini.find(key);
        require(found != nullptr);
        require(found->text == value.text && found->isText == value.isText);
        require(value.isText || value.text.empty());
    }
    (void)ini.find("PelorDeviceMovaAnt/MovaAntSettings_TrainerDeviceNumber");
    (void)ini.wellFormed();
    return 0;
}
