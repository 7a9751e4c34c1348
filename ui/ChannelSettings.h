#pragma once
// The channel settings dialog's OK: the typed channel parameters converted
// and stored into the main window's fields, row by row.

#include <array>
#include <optional>
#include <string>

namespace fota {

class TMainForm;

// The texts of the boxes that OK reads, with the dialog's initial content.
struct ChannelSettingsTexts {
    std::string baudrate = "Edt_Baudrate";  // no rate chosen yet
    std::array<std::string, 8> networkKey = DefaultNetworkKeyTexts();
    std::string rfChannel = "57";
    std::string transmissionType = "1";
    std::string deviceType = "121";
    std::string deviceNumber = "12345";
    std::string messagePeriod = "16172";

    // The default network key, one decimal byte per box.
    static std::array<std::string, 8> DefaultNetworkKeyTexts();
};

// Converts and stores, in this order: Baudrate, ChannelType (16), the eight
// NetworkKey bytes, RFChannel, TransmissionType, DeviceType, DeviceNumber,
// MessagePeriod; each value is cut to its field's width (low bits kept). At
// the first text that is not an integer it stops and returns the conversion
// error's message: the rows before it are stored, that row and the rest keep
// their values.
std::optional<std::string> StoreChannelSettings(const ChannelSettingsTexts& texts, TMainForm& form);

}  // namespace fota
