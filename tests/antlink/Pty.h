#pragma once
// A pseudo-terminal for tests of the serial port: the library opens the slave
// side as it would /dev/ttyUSB0, a scripted stick sits on the master side.

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <stdexcept>
#include <string>

#include "antlink/ByteTransport.h"

namespace fota::ant::testing {

class Pty {
public:
    Pty() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
            throw std::runtime_error("no pseudo-terminal");
        }
        char name[128];
        if (::ptsname_r(master_, name, sizeof name) != 0) {
            throw std::runtime_error("no pseudo-terminal name");
        }
        slavePath_ = name;
        // Held open so that the master never reads "end of line" while the
        // library's side is closed.
        keepSlave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    }
    ~Pty() {
        closeMaster();
        if (keepSlave_ >= 0) {
            ::close(keepSlave_);
        }
    }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    const std::string& slavePath() const { return slavePath_; }
    int master() const { return master_; }
    // The stick is pulled: the slave side hangs up.
    void closeMaster() {
        const int fd = master_.exchange(-1);
        if (fd >= 0) {
            ::close(fd);
        }
    }

private:
    std::atomic<int> master_{-1};
    int keepSlave_ = -1;
    std::string slavePath_;
};

// The master side of a Pty as a line for FakeStick. Reads poll in short
// slices so a stop request ends them; it does not own the descriptor.
class PtyMasterEnd final : public ByteTransport {
public:
    explicit PtyMasterEnd(Pty& pty) : pty_(pty) {}

    bool write(std::span<const std::uint8_t> bytes) override {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const int fd = pty_.master();
            if (fd < 0) {
                return false;
            }
            const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
            if (n <= 0) {
                return false;
            }
            done += static_cast<std::size_t>(n);
        }
        return true;
    }
    long read(std::span<std::uint8_t> buffer, std::stop_token stop, Duration) override {
        while (!stop.stop_requested()) {
            const int fd = pty_.master();
            if (fd < 0) {
                return -1;
            }
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 5) > 0 && (p.revents & POLLIN) != 0) {
                const ssize_t n = ::read(fd, buffer.data(), buffer.size());
                if (n > 0) {
                    return static_cast<long>(n);
                }
            }
        }
        return 0;
    }
    void close() override {}
    std::string description() const override { return "pty master"; }

private:
    Pty& pty_;
};

}  // namespace fota::ant::testing
