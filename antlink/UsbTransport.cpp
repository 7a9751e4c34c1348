#include "antlink/UsbTransport.h"

#include <libusb.h>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "antlink/ANTDEFINES.h"

namespace fota::ant {

namespace {

constexpr unsigned kSliceMs = 100;
constexpr unsigned kWriteTimeoutMs = 2000;

// CP210x bridge requests (vendor requests to the interface).
constexpr std::uint8_t kCp210xRequestType = 0x41;
constexpr std::uint8_t kCp210xIfcEnable = 0x00;
constexpr std::uint16_t kCp210xUartEnable = 0x0001;
constexpr std::uint8_t kCp210xSetLineCtl = 0x03;
constexpr std::uint16_t kCp210xLine8N1 = 0x0800;
constexpr std::uint8_t kCp210xSetBaudrate = 0x1E;

bool isAntUsbId(std::uint16_t vendor, std::uint16_t product) {
    return vendor == USB_VENDOR_DYNASTREAM &&
           (product == USB_PRODUCT_ANTUSB1 || product == USB_PRODUCT_ANTUSB2 ||
            product == USB_PRODUCT_ANTUSB_M);
}

std::string usbError(int code) {
    return libusb_strerror(code);
}

std::string stickName(std::uint16_t vendor, std::uint16_t product, std::uint8_t bus,
                      std::uint8_t address) {
    char text[64];
    std::snprintf(text, sizeof text, "USB %04x:%04x (bus %u, device %u)", vendor, product, bus,
                  address);
    return text;
}

struct ContextDeleter {
    void operator()(libusb_context* c) const { libusb_exit(c); }
};
using ContextPtr = std::unique_ptr<libusb_context, ContextDeleter>;

struct HandleDeleter {
    void operator()(libusb_device_handle* h) const { libusb_close(h); }
};
using HandlePtr = std::unique_ptr<libusb_device_handle, HandleDeleter>;

struct DeviceList {
    libusb_device** devices = nullptr;
    ssize_t count = 0;
    ~DeviceList() {
        if (devices != nullptr) {
            libusb_free_device_list(devices, 1);
        }
    }
};

struct Found {
    libusb_device* device = nullptr;
    UsbStickInfo info;
};

std::vector<Found> antDevices(libusb_context* ctx, DeviceList& list, std::string* error) {
    list.count = libusb_get_device_list(ctx, &list.devices);
    std::vector<Found> out;
    if (list.count < 0) {
        if (error != nullptr) {
            *error = "libusb cannot list USB devices: " + usbError(static_cast<int>(list.count));
        }
        list.devices = nullptr;
        return out;
    }
    for (ssize_t i = 0; i < list.count; ++i) {
        libusb_device_descriptor desc{};
        if (libusb_get_device_descriptor(list.devices[i], &desc) != 0 ||
            !isAntUsbId(desc.idVendor, desc.idProduct)) {
            continue;
        }
        Found f;
        f.device = list.devices[i];
        f.info.vendor = desc.idVendor;
        f.info.product = desc.idProduct;
        f.info.bus = libusb_get_bus_number(list.devices[i]);
        f.info.address = libusb_get_device_address(list.devices[i]);
        f.info.name = stickName(desc.idVendor, desc.idProduct, f.info.bus, f.info.address);
        out.push_back(std::move(f));
    }
    return out;
}

ContextPtr startLibusb(std::string* error) {
    libusb_context* ctx = nullptr;
    const int r = libusb_init(&ctx);
    if (r < 0) {
        if (error != nullptr) {
            *error = "libusb cannot start: " + usbError(r);
        }
        return nullptr;
    }
    return ContextPtr(ctx);
}

// The bulk endpoints of the stick's first interface.
bool findEndpoints(libusb_device* device, int& interface, std::uint8_t& in, std::uint8_t& out,
                   int& maxPacketIn) {
    libusb_config_descriptor* config = nullptr;
    if (libusb_get_active_config_descriptor(device, &config) != 0 || config == nullptr) {
        return false;
    }
    bool found = false;
    if (config->bNumInterfaces > 0 && config->interface[0].num_altsetting > 0) {
        const libusb_interface_descriptor& alt = config->interface[0].altsetting[0];
        interface = alt.bInterfaceNumber;
        bool haveIn = false;
        bool haveOut = false;
        for (int e = 0; e < alt.bNumEndpoints; ++e) {
            const libusb_endpoint_descriptor& ep = alt.endpoint[e];
            if ((ep.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK) != LIBUSB_TRANSFER_TYPE_BULK) {
                continue;
            }
            if ((ep.bEndpointAddress & LIBUSB_ENDPOINT_DIR_MASK) == LIBUSB_ENDPOINT_IN) {
                if (!haveIn) {
                    in = ep.bEndpointAddress;
                    maxPacketIn = std::max<int>(ep.wMaxPacketSize, 8);
                    haveIn = true;
                }
            } else if (!haveOut) {
                out = ep.bEndpointAddress;
                haveOut = true;
            }
        }
        found = haveIn && haveOut;
    }
    libusb_free_config_descriptor(config);
    return found;
}

std::string cp210xSetup(libusb_device_handle* h, int interface, std::uint32_t baudrate) {
    const auto index = static_cast<std::uint16_t>(interface);
    int r = libusb_control_transfer(h, kCp210xRequestType, kCp210xIfcEnable, kCp210xUartEnable,
                                    index, nullptr, 0, 1000);
    if (r >= 0) {
        r = libusb_control_transfer(h, kCp210xRequestType, kCp210xSetLineCtl, kCp210xLine8N1, index,
                                    nullptr, 0, 1000);
    }
    if (r >= 0) {
        unsigned char rate[4] = {
            static_cast<unsigned char>(baudrate & 0xFF),
            static_cast<unsigned char>((baudrate >> 8) & 0xFF),
            static_cast<unsigned char>((baudrate >> 16) & 0xFF),
            static_cast<unsigned char>((baudrate >> 24) & 0xFF),
        };
        r = libusb_control_transfer(h, kCp210xRequestType, kCp210xSetBaudrate, 0, index, rate,
                                    sizeof rate, 1000);
    }
    return r < 0 ? usbError(r) : std::string();
}

}  // namespace

std::vector<UsbStickInfo> listUsbSticks(std::string* error) {
    ContextPtr ctx = startLibusb(error);
    std::vector<UsbStickInfo> out;
    if (!ctx) {
        return out;
    }
    DeviceList list;
    for (auto& f : antDevices(ctx.get(), list, error)) {
        out.push_back(std::move(f.info));
    }
    return out;
}

OpenedTransport UsbTransport::open(Clock& clock, unsigned index, std::uint32_t baudrate) {
    std::string error;
    ContextPtr ctx = startLibusb(&error);
    if (!ctx) {
        return OpenedTransport::failure("no ANT USB stick found (" + error + ")");
    }
    DeviceList list;
    const std::vector<Found> found = antDevices(ctx.get(), list, &error);
    if (!error.empty()) {
        return OpenedTransport::failure("no ANT USB stick found (" + error + ")");
    }

    std::string notes;
    unsigned usable = 0;
    for (const Found& f : found) {
        libusb_device_handle* raw = nullptr;
        const int r = libusb_open(f.device, &raw);
        if (r < 0) {
            if (usable++ == index) {
                std::string why = "cannot open " + f.info.name + ": " + usbError(r);
                if (r == LIBUSB_ERROR_ACCESS) {
                    why += " (is the udev rule for ANT sticks installed? see the README)";
                }
                return OpenedTransport::failure(why);
            }
            continue;
        }
        HandlePtr handle(raw);
        Endpoints ep;
        if (!findEndpoints(f.device, ep.interface, ep.in, ep.out, ep.maxPacketIn)) {
            notes += "; " + f.info.name + " has no bulk endpoints";
            continue;
        }
        if (f.info.product == USB_PRODUCT_ANTUSB1 &&
            libusb_kernel_driver_active(handle.get(), ep.interface) == 1) {
            notes += "; " + f.info.name + " is served by the kernel's serial driver (use its port)";
            continue;
        }
        if (usable++ != index) {
            continue;
        }
        libusb_set_auto_detach_kernel_driver(handle.get(), 1);  // not supported everywhere
        const int claim = libusb_claim_interface(handle.get(), ep.interface);
        if (claim < 0) {
            std::string why = "cannot use " + f.info.name + ": " + usbError(claim);
            if (claim == LIBUSB_ERROR_BUSY) {
                why += " (another program is using the stick?)";
            }
            return OpenedTransport::failure(why);
        }
        if (f.info.product == USB_PRODUCT_ANTUSB1) {
            const std::string setup = cp210xSetup(handle.get(), ep.interface, baudrate);
            if (!setup.empty()) {
                libusb_release_interface(handle.get(), ep.interface);
                return OpenedTransport::failure("cannot set up " + f.info.name + ": " + setup);
            }
        }
        return std::unique_ptr<UsbTransport>(
            new UsbTransport(clock, ctx.release(), handle.release(), ep, f.info.name));
    }
    std::string why = "no ANT USB stick found (libusb: no device 0fcf:1008, 0fcf:1009 or 0fcf:1004";
    if (index > 0 && usable > 0) {
        why = "no ANT USB stick number " + std::to_string(index) +
              " found (libusb: " + std::to_string(usable) + " usable";
    }
    return OpenedTransport::failure(why + notes + ")");
}

UsbTransport::UsbTransport(Clock& clock, libusb_context* ctx, libusb_device_handle* handle,
                           Endpoints endpoints, std::string name)
    : clock_(clock),
      ctx_(ctx),
      handle_(handle),
      ep_(endpoints),
      name_(std::move(name)),
      inBuffer_(static_cast<std::size_t>(ep_.maxPacketIn) * 8) {}

UsbTransport::~UsbTransport() {
    libusb_release_interface(handle_, ep_.interface);  // gives the kernel driver back
    libusb_close(handle_);
    libusb_exit(ctx_);
}

void UsbTransport::close() {
    closed_ = true;
}

bool UsbTransport::write(std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    unsigned waited = 0;
    while (done < bytes.size()) {
        if (closed_) {
            return false;
        }
        int sent = 0;
        // libusb takes a non-const buffer for both directions; an OUT
        // transfer only reads it.
        auto* data = const_cast<unsigned char*>(bytes.data() + done);
        const int r = libusb_bulk_transfer(handle_, ep_.out, data,
                                           static_cast<int>(bytes.size() - done), &sent, kSliceMs);
        if (sent > 0) {
            done += static_cast<std::size_t>(sent);
            waited = 0;
            continue;
        }
        if (r == LIBUSB_ERROR_TIMEOUT || r == LIBUSB_ERROR_INTERRUPTED) {
            waited += kSliceMs;
            if (waited >= kWriteTimeoutMs) {
                return false;  // the stick does not take data
            }
            continue;
        }
        if (r != 0) {
            return false;  // gone (LIBUSB_ERROR_NO_DEVICE) or broken
        }
    }
    return true;
}

long UsbTransport::read(std::span<std::uint8_t> buffer, std::stop_token stop, Duration deadline) {
    if (buffer.empty()) {
        return 0;
    }
    for (;;) {
        if (!pending_.empty()) {
            const std::size_t n = std::min(buffer.size(), pending_.size());
            std::copy_n(pending_.begin(), n, buffer.begin());
            pending_.erase(pending_.begin(), pending_.begin() + static_cast<long>(n));
            return static_cast<long>(n);
        }
        if (closed_) {
            return -1;
        }
        if (stop.stop_requested()) {
            return 0;
        }
        unsigned timeoutMs = kSliceMs;
        if (deadline != kForever) {
            const Duration left = deadline - clock_.now();
            if (left <= Duration::zero()) {
                return 0;
            }
            const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
            timeoutMs = static_cast<unsigned>(std::min<long long>(ms, kSliceMs));
        }
        int got = 0;
        const int r = libusb_bulk_transfer(handle_, ep_.in, inBuffer_.data(),
                                           static_cast<int>(inBuffer_.size()), &got, timeoutMs);
        if (got > 0) {
            pending_.insert(pending_.end(), inBuffer_.begin(), inBuffer_.begin() + got);
            continue;
        }
        if (r == 0 || r == LIBUSB_ERROR_TIMEOUT || r == LIBUSB_ERROR_INTERRUPTED ||
            r == LIBUSB_ERROR_OVERFLOW) {
            continue;
        }
        return -1;  // LIBUSB_ERROR_NO_DEVICE, LIBUSB_ERROR_IO, ...
    }
}

}  // namespace fota::ant
