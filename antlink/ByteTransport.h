#pragma once
// The byte line between the ANT library and a stick: a serial port, a USB
// bulk pipe, or the simulated stick in the same process.

#include <cstddef>
#include <cstdint>
#include <span>
#include <stop_token>
#include <string>

#include "platform/Clock.h"

namespace fota::ant {

class ByteTransport {
public:
    virtual ~ByteTransport() = default;

    // Writes every byte; false when the stick is gone. Callers serialise writes.
    virtual bool write(std::span<const std::uint8_t> bytes) = 0;

    // Blocks until some bytes arrive, the line fails or closes, stop is
    // requested, or the clock reaches deadline (time of the clock the transport
    // was made with). Returns the number of bytes read (at least 1); 0 on stop
    // or deadline; -1 when the line has failed or was closed (nothing more comes).
    virtual long read(std::span<std::uint8_t> buffer, std::stop_token stop,
                      Duration deadline = kForever) = 0;

    // Ends the line; a blocked read returns -1. Safe to call more than once.
    virtual void close() = 0;

    // What the user sees: "/dev/ttyUSB0", "USB 0fcf:1008", "simulated stick".
    virtual std::string description() const = 0;

    // True only for the simulated stick: a demo image is never sent elsewhere.
    virtual bool isSimulated() const { return false; }
};

}  // namespace fota::ant
