#pragma once
// An ANT USB stick reached through libusb, for systems where no kernel serial
// driver serves it. ANTUSB2 (0fcf:1008) and ANTUSB-m (0fcf:1009) speak the ANT
// serial protocol straight over their bulk endpoints; the older ANTUSB
// (0fcf:1004, a CP210x bridge) is used only when no kernel driver holds it,
// and its bridge is then set to 8N1 at the requested baud rate.
//
// The interface's kernel driver (usb-serial-simple) is detached while the
// stick is open and given back when it is released. Reads wait in slices of
// at most 100 ms, so a stop request, close() or a deadline ends them soon;
// an unplugged stick makes read return -1 and write fail.

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "antlink/ByteTransport.h"
#include "antlink/TransportOpener.h"

struct libusb_context;
struct libusb_device_handle;

namespace fota::ant {

struct UsbStickInfo {
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
    std::uint8_t bus = 0;
    std::uint8_t address = 0;
    std::string name;  // "USB 0fcf:1008 (bus 1, device 5)"
};

// The ANT sticks libusb sees, in its order. When libusb cannot start, the
// list is empty and *error (if given) says why.
std::vector<UsbStickInfo> listUsbSticks(std::string* error = nullptr);

class UsbTransport final : public ByteTransport {
public:
    // Stick number `index` (from 0) among the usable sticks, or why not.
    static OpenedTransport open(Clock& clock, unsigned index, std::uint32_t baudrate);

    ~UsbTransport() override;
    UsbTransport(const UsbTransport&) = delete;
    UsbTransport& operator=(const UsbTransport&) = delete;

    bool write(std::span<const std::uint8_t> bytes) override;
    long read(std::span<std::uint8_t> buffer, std::stop_token stop,
              Duration deadline = kForever) override;
    void close() override;
    std::string description() const override { return name_; }

private:
    struct Endpoints {
        int interface = 0;
        std::uint8_t in = 0;
        std::uint8_t out = 0;
        int maxPacketIn = 64;
    };
    UsbTransport(Clock& clock, libusb_context* ctx, libusb_device_handle* handle,
                 Endpoints endpoints, std::string name);

    Clock& clock_;
    libusb_context* ctx_;
    libusb_device_handle* handle_;
    Endpoints ep_;
    std::string name_;
    std::atomic<bool> closed_{false};
    std::vector<std::uint8_t> inBuffer_;  // reader thread only
    std::vector<std::uint8_t> pending_;   // read from the stick, not yet handed out
};

}  // namespace fota::ant
