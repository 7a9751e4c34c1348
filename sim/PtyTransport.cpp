#include "sim/PtyTransport.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>

namespace fota::sim {

namespace {

std::string systemError(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

void closeIfOpen(int fd) {
    if (fd >= 0) {
        ::close(fd);
    }
}

bool setFlags(int fd, int statusFlags) {
    const int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags | statusFlags) == 0 &&
           ::fcntl(fd, F_SETFD, FD_CLOEXEC) == 0;
}

}  // namespace

std::unique_ptr<PtyTransport> PtyTransport::open(Clock& clock, std::string* error) {
    auto fail = [&](const std::string& why, std::initializer_list<int> fds) {
        for (int fd : fds) {
            closeIfOpen(fd);
        }
        if (error != nullptr) {
            *error = why;
        }
        return std::unique_ptr<PtyTransport>();
    };
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0) {
        return fail(systemError("posix_openpt"), {});
    }
    if (::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        return fail(systemError("grantpt/unlockpt"), {master});
    }
    char name[128] = {};
    if (::ptsname_r(master, name, sizeof name) != 0) {
        return fail(systemError("ptsname_r"), {master});
    }
    const int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) {
        return fail(systemError("open pty slave"), {master});
    }
    termios tio{};
    if (::tcgetattr(slave, &tio) != 0) {
        return fail(systemError("tcgetattr"), {master, slave});
    }
    ::cfmakeraw(&tio);
    ::cfsetispeed(&tio, B57600);
    ::cfsetospeed(&tio, B57600);
    if (::tcsetattr(slave, TCSANOW, &tio) != 0) {
        return fail(systemError("tcsetattr"), {master, slave});
    }
    int wake[2] = {-1, -1};
    if (::pipe(wake) != 0) {
        return fail(systemError("pipe"), {master, slave});
    }
    if (!setFlags(master, O_NONBLOCK) || !setFlags(wake[0], O_NONBLOCK) ||
        !setFlags(wake[1], O_NONBLOCK)) {
        return fail(systemError("fcntl"), {master, slave, wake[0], wake[1]});
    }
    return std::unique_ptr<PtyTransport>(
        new PtyTransport(clock, master, slave, wake[0], wake[1], name));
}

PtyTransport::PtyTransport(Clock& clock, int master, int slave, int wakeRead, int wakeWrite,
                           std::string slavePath)
    : clock_(clock),
      speed_(1.0),
      master_(master),
      slave_(slave),
      wakeRead_(wakeRead),
      wakeWrite_(wakeWrite),
      slavePath_(std::move(slavePath)) {
    if (const auto* real = dynamic_cast<const RealClock*>(&clock)) {
        speed_ = real->speed();
    }
}

PtyTransport::~PtyTransport() {
    close();
    closeIfOpen(master_);
    closeIfOpen(slave_);
    closeIfOpen(wakeRead_);
    closeIfOpen(wakeWrite_);
}

void PtyTransport::wake() {
    const char b = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(wakeWrite_, &b, 1);
}

void PtyTransport::close() {
    if (closed_.exchange(true)) {
        return;
    }
    // Put /dev/null in place of both pty ends: the pty hangs up for the
    // program at once, while the descriptor numbers stay valid for a read
    // that may be polling them right now.
    const int devnull = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (devnull >= 0) {
        ::dup2(devnull, master_);
        ::dup2(devnull, slave_);
        ::close(devnull);
    }
    wake();
}

bool PtyTransport::write(std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        if (closed_) {
            return false;
        }
        const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            dropped_ += bytes.size() - done;  // nobody reads: the rest is lost
            return true;
        } else {
            return false;
        }
    }
    return true;
}

long PtyTransport::read(std::span<std::uint8_t> buffer, std::stop_token stop, Duration deadline) {
    if (buffer.empty()) {
        return 0;
    }
    std::stop_callback onStop(stop, [this] { wake(); });
    for (;;) {
        if (closed_) {
            return -1;
        }
        if (stop.stop_requested()) {
            return 0;
        }
        int timeoutMs = -1;
        if (deadline != kForever) {
            const Duration left = deadline - clock_.now();
            if (left <= Duration::zero()) {
                return 0;
            }
            const double ms = std::ceil(static_cast<double>(left.count()) / 1e6 / speed_);
            timeoutMs = static_cast<int>(std::min(ms, static_cast<double>(INT_MAX / 2)));
        }
        pollfd fds[2] = {{master_, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
        const int rc = ::poll(fds, 2, timeoutMs);
        if (rc < 0) {
            if (errno == EINTR) {
                continue;
            }
            return -1;
        }
        if (closed_) {
            return -1;
        }
        if ((fds[1].revents & POLLIN) != 0) {
            char drain[64];
            while (::read(wakeRead_, drain, sizeof drain) > 0) {
            }
        }
        if ((fds[0].revents & POLLIN) != 0) {
            const ssize_t n = ::read(master_, buffer.data(), buffer.size());
            if (n > 0) {
                return static_cast<long>(n);
            }
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
                continue;
            }
            return -1;
        }
        if ((fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            return -1;
        }
    }
}

}  // namespace fota::sim
