#pragma once
// Which stick the library opens: a serial port named by the user, a stick
// reached through libusb, or the first ANT stick found.
//
// Automatic choice: the serial ports whose USB device has an ANT stick's ids
// (0fcf:1004, 0fcf:1008, 0fcf:1009), found through sysfs
// (<sysfs>/class/tty/<name>/device, walking up to the USB device's idVendor
// and idProduct) and sorted by name (ttyUSB2 before ttyUSB10); when there is
// none, libusb. usbDeviceNum picks among several.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "antlink/TransportOpener.h"
#include "platform/Clock.h"

namespace fota::ant {

struct StickChoice {
    enum class Kind { Auto, Port, Usb };
    Kind kind = Kind::Auto;
    std::string port;  // for Kind::Port

    // "" or "auto": Auto; "usb": Usb; anything else is a port path.
    static StickChoice parse(std::string_view text);
};

// Where the search looks; a test gives a fake tree.
struct StickSearch {
    std::filesystem::path sysfsRoot = "/sys";
    std::filesystem::path devRoot = "/dev";
    bool tryLibusb = true;  // when no serial port is found
};

struct SerialStick {
    std::string path;  // <devRoot>/ttyUSB0
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
};

bool isAntStickId(std::uint16_t vendor, std::uint16_t product);

// The serial ports of ANT sticks, sorted by name.
std::vector<SerialStick> findSerialSticks(const StickSearch& where = {});

// Opens the chosen stick, or says what was tried: "no ANT USB stick found
// (...)", "cannot open /dev/ttyUSB0: Permission denied ...".
OpenedTransport openStick(Clock& clock, const StickChoice& choice, UCHAR usbDeviceNum,
                          ULONG baudrate, const StickSearch& where = {});

// The opener to give AntSerialLibrary.
TransportOpener stickOpener(Clock& clock, StickChoice choice, StickSearch where = {});

}  // namespace fota::ant
