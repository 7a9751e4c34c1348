#pragma once
// The stick's end of a pseudo-terminal: the program opens the pty's slave
// path as if it were a USB stick's serial port (/dev/ttyUSB0), and the
// simulated stick reads and writes the master side.
//
// The slave is kept open here as well (never read), so the pty survives the
// program closing and opening it again, and the line is in raw mode from the
// start. Writes never block: when the program does not read and the pty's
// buffer is full, the rest of the message is lost, as it would be on a USB
// stick nobody listens to.
//
// Deadlines are clock times: under RealClock(speed) a deadline d is
// (d - now) / speed away in real time.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "antlink/ByteTransport.h"
#include "platform/Clock.h"

namespace fota::sim {

class PtyTransport final : public ant::ByteTransport {
public:
    // Opens a new pty; nullptr with *error set when that fails.
    static std::unique_ptr<PtyTransport> open(Clock& clock, std::string* error = nullptr);
    ~PtyTransport() override;
    PtyTransport(const PtyTransport&) = delete;
    PtyTransport& operator=(const PtyTransport&) = delete;

    // The path the program opens, e.g. "/dev/pts/5".
    const std::string& slavePath() const { return slavePath_; }

    bool write(std::span<const std::uint8_t> bytes) override;
    long read(std::span<std::uint8_t> buffer, std::stop_token stop,
              Duration deadline = kForever) override;
    void close() override;
    std::string description() const override { return "pty " + slavePath_; }
    bool isSimulated() const override { return true; }

    // Bytes the program did not take in time and that were lost.
    std::uint64_t droppedBytes() const { return dropped_; }

private:
    PtyTransport(Clock& clock, int master, int slave, int wakeRead, int wakeWrite,
                 std::string slavePath);
    void wake();

    Clock& clock_;
    double speed_;
    int master_;
    int slave_;
    int wakeRead_;  // a pipe that wakes a blocked read on stop or close
    int wakeWrite_;
    std::string slavePath_;
    std::atomic<bool> closed_{false};
    std::atomic<std::uint64_t> dropped_{0};
};

}  // namespace fota::sim
