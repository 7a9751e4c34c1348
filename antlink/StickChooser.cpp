#include "antlink/StickChooser.h"

#include <algorithm>
#include <fstream>
#include <optional>
#include <system_error>

#include "antlink/ANTDEFINES.h"
#include "antlink/SerialTransport.h"
#include "antlink/UsbTransport.h"

namespace fota::ant {

namespace fs = std::filesystem;

namespace {

// How far above the tty's device directory the USB device may sit
// (ttyUSB0 -> interface 1-1:1.0 -> device 1-1).
constexpr int kLevelsUp = 4;

std::optional<std::uint16_t> readHexId(const fs::path& file) {
    std::ifstream in(file);
    std::string text;
    if (!(in >> text) || text.empty() || text.size() > 4) {
        return std::nullopt;
    }
    std::uint16_t value = 0;
    for (char c : text) {
        int digit = 0;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        } else {
            return std::nullopt;
        }
        value = static_cast<std::uint16_t>(value * 16 + digit);
    }
    return value;
}

// ttyUSB2 before ttyUSB10: shorter names first, then by name.
bool byName(const SerialStick& a, const SerialStick& b) {
    const auto na = fs::path(a.path).filename().string();
    const auto nb = fs::path(b.path).filename().string();
    if (na.size() != nb.size()) {
        return na.size() < nb.size();
    }
    return na < nb;
}

std::string listOf(const std::vector<SerialStick>& sticks) {
    std::string out;
    for (const auto& s : sticks) {
        out += (out.empty() ? "" : ", ") + s.path;
    }
    return out;
}

}  // namespace

StickChoice StickChoice::parse(std::string_view text) {
    StickChoice c;
    if (text.empty() || text == "auto") {
        c.kind = Kind::Auto;
    } else if (text == "usb") {
        c.kind = Kind::Usb;
    } else {
        c.kind = Kind::Port;
        c.port = std::string(text);
    }
    return c;
}

bool isAntStickId(std::uint16_t vendor, std::uint16_t product) {
    return vendor == USB_VENDOR_DYNASTREAM &&
           (product == USB_PRODUCT_ANTUSB1 || product == USB_PRODUCT_ANTUSB2 ||
            product == USB_PRODUCT_ANTUSB_M);
}

std::vector<SerialStick> findSerialSticks(const StickSearch& where) {
    std::vector<SerialStick> out;
    std::error_code ec;
    const fs::path ttys = where.sysfsRoot / "class" / "tty";
    for (const auto& entry : fs::directory_iterator(ttys, ec)) {
        const fs::path device = fs::canonical(entry.path() / "device", ec);
        if (ec) {
            ec.clear();
            continue;  // a virtual terminal has no device
        }
        fs::path dir = device;
        for (int level = 0; level <= kLevelsUp && !dir.empty(); ++level) {
            const auto vendor = readHexId(dir / "idVendor");
            const auto product = readHexId(dir / "idProduct");
            if (vendor && product) {
                if (isAntStickId(*vendor, *product)) {
                    out.push_back(
                        {(where.devRoot / entry.path().filename()).string(), *vendor, *product});
                }
                break;
            }
            if (dir == dir.parent_path()) {
                break;
            }
            dir = dir.parent_path();
        }
    }
    std::sort(out.begin(), out.end(), byName);
    return out;
}

OpenedTransport openStick(Clock& clock, const StickChoice& choice, UCHAR usbDeviceNum,
                          ULONG baudrate, const StickSearch& where) {
    switch (choice.kind) {
        case StickChoice::Kind::Port:
            return SerialTransport::open(clock, choice.port, baudrate);
        case StickChoice::Kind::Usb:
            return UsbTransport::open(clock, usbDeviceNum, baudrate);
        case StickChoice::Kind::Auto:
            break;
    }
    const auto sticks = findSerialSticks(where);
    if (usbDeviceNum < sticks.size()) {
        return SerialTransport::open(clock, sticks[usbDeviceNum].path, baudrate);
    }
    if (!sticks.empty()) {
        return OpenedTransport::failure("no ANT USB stick number " + std::to_string(usbDeviceNum) +
                                        " found (serial ports of ANT sticks: " + listOf(sticks) +
                                        ")");
    }
    const std::string tried =
        "looked for serial ports of USB sticks 0fcf:1004, 0fcf:1008 and "
        "0fcf:1009 in " +
        (where.sysfsRoot / "class" / "tty").string();
    if (!where.tryLibusb) {
        return OpenedTransport::failure("no ANT USB stick found (" + tried + ")");
    }
    OpenedTransport usb = UsbTransport::open(clock, usbDeviceNum, baudrate);
    if (!usb.transport && usb.error.starts_with("no ANT USB stick")) {
        // "no ANT USB stick found (libusb: ...)": say first what else was tried.
        const auto open = usb.error.find('(');
        if (open == std::string::npos) {
            usb.error += " (" + tried + ")";
        } else {
            usb.error.insert(open + 1, tried + "; ");
        }
    }
    return usb;
}

TransportOpener stickOpener(Clock& clock, StickChoice choice, StickSearch where) {
    return [&clock, choice = std::move(choice), where = std::move(where)](UCHAR usbDeviceNum,
                                                                          ULONG baudrate) {
        return openStick(clock, choice, usbDeviceNum, baudrate, where);
    };
}

}  // namespace fota::ant
