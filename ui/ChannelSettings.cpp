#include "ui/ChannelSettings.h"

#include "platform/Convert.h"
#include "ui/ConfigForm.h"

namespace fota {

std::array<std::string, 8> ChannelSettingsTexts::DefaultNetworkKeyTexts() {
    std::array<std::string, 8> texts;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        texts[i] = std::to_string(kDefaultNetworkKey[i]);
    }
    return texts;
}

std::optional<std::string> StoreChannelSettings(const ChannelSettingsTexts& texts,
                                                TMainForm& form) {
    try {
        form.Baudrate = static_cast<std::uint16_t>(StrToInt(texts.baudrate));
        form.ChannelType = 0x10;
        for (std::size_t i = 0; i < texts.networkKey.size(); ++i) {
            form.NetworkKey[i] = static_cast<std::uint8_t>(StrToInt(texts.networkKey[i]));
        }
        form.RFChannel = static_cast<std::uint8_t>(StrToInt(texts.rfChannel));
        form.TransmissionType = static_cast<std::uint8_t>(StrToInt(texts.transmissionType));
        form.DeviceType = static_cast<std::uint8_t>(StrToInt(texts.deviceType));
        form.DeviceNumber = StrToInt(texts.deviceNumber);
        form.MessagePeriod = static_cast<std::uint16_t>(StrToInt(texts.messagePeriod));
    } catch (const ConvertError& e) {
        return std::string(e.what());
    }
    return std::nullopt;
}

}  // namespace fota
