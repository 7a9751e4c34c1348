#pragma once
// A serial port as the byte line to an ANT stick: how ANT USB sticks appear on
// Linux (/dev/ttyUSB*, through the kernel's cp210x or usb-serial-simple
// driver). Raw 8N1 at the given baud rate, no flow control.
//
// Reads wait with poll() and wake at once for a stop request or close(); a
// deadline is clock time, checked at least every 100 ms, so the port is meant
// for a RealClock (the program's clock). A port that hangs up (stick pulled)
// makes read return -1; a write the port does not take within two seconds
// fails.

#include <atomic>
#include <cstdint>
#include <string>

#include "antlink/ByteTransport.h"
#include "antlink/TransportOpener.h"

namespace fota::ant {

class SerialTransport final : public ByteTransport {
public:
    // The port, or why not: "cannot open /dev/ttyUSB0: Permission denied ...".
    static OpenedTransport open(Clock& clock, const std::string& path, std::uint32_t baudrate);

    ~SerialTransport() override;
    SerialTransport(const SerialTransport&) = delete;
    SerialTransport& operator=(const SerialTransport&) = delete;

    bool write(std::span<const std::uint8_t> bytes) override;
    long read(std::span<std::uint8_t> buffer, std::stop_token stop,
              Duration deadline = kForever) override;
    void close() override;
    std::string description() const override { return path_; }

    // True when the baud rate is one the port can be set to.
    static bool supportsBaudrate(std::uint32_t baudrate);

private:
    SerialTransport(Clock& clock, std::string path, int fd, int wakeFd);
    void wake();

    Clock& clock_;
    std::string path_;
    int fd_;
    int wakeFd_;  // an eventfd that a stop request or close() signals
    std::atomic<bool> closed_{false};
};

}  // namespace fota::ant
