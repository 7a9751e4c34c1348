#include "antlink/SerialTransport.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <system_error>
#include <utility>

namespace fota::ant {

namespace {

constexpr int kWriteStallMs = 2000;
constexpr Duration kReadSlice = std::chrono::milliseconds(100);

std::optional<speed_t> speedFor(std::uint32_t baudrate) {
    switch (baudrate) {
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        case 230400:
            return B230400;
        case 460800:
            return B460800;
        case 921600:
            return B921600;
        default:
            return std::nullopt;
    }
}

std::string errorText(int err) {
    return std::system_category().message(err);
}

}  // namespace

bool SerialTransport::supportsBaudrate(std::uint32_t baudrate) {
    return speedFor(baudrate).has_value();
}

OpenedTransport SerialTransport::open(Clock& clock, const std::string& path,
                                      std::uint32_t baudrate) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        std::string why = "cannot open " + path + ": " + errorText(err);
        if (err == EACCES || err == EPERM) {
            why += " (is the udev rule for ANT sticks installed? see the README)";
        }
        return OpenedTransport::failure(why);
    }
    auto fail = [&](const std::string& why) {
        ::close(fd);
        return OpenedTransport::failure("cannot use " + path + ": " + why);
    };
    if (!::isatty(fd)) {
        return fail("not a serial port");
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        return fail(errno == EWOULDBLOCK ? "in use by another program" : errorText(errno));
    }
    const auto speed = speedFor(baudrate);
    if (!speed) {
        return fail("unsupported baud rate " + std::to_string(baudrate));
    }
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) {
        return fail(errorText(errno));
    }
    ::cfmakeraw(&tio);  // 8 data bits, no parity, no translation, no echo
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB | CRTSCTS);
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    // With O_NONBLOCK, VMIN 1 makes a read without data fail with EAGAIN, so
    // that a read of 0 bytes means the port hung up.
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (::cfsetispeed(&tio, *speed) != 0 || ::cfsetospeed(&tio, *speed) != 0 ||
        ::tcsetattr(fd, TCSANOW, &tio) != 0) {
        return fail("cannot set 8N1 at " + std::to_string(baudrate) + " baud: " + errorText(errno));
    }
    ::tcflush(fd, TCIOFLUSH);  // nothing left over from an earlier user

    const int wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd < 0) {
        return fail(errorText(errno));
    }
    return std::unique_ptr<SerialTransport>(new SerialTransport(clock, path, fd, wakeFd));
}

SerialTransport::SerialTransport(Clock& clock, std::string path, int fd, int wakeFd)
    : clock_(clock), path_(std::move(path)), fd_(fd), wakeFd_(wakeFd) {}

SerialTransport::~SerialTransport() {
    ::close(fd_);  // also drops the lock
    ::close(wakeFd_);
}

void SerialTransport::wake() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(wakeFd_, &one, sizeof one);
}

void SerialTransport::close() {
    closed_ = true;
    wake();
}

bool SerialTransport::write(std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        if (closed_) {
            return false;
        }
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            return false;  // EIO after a hang-up, ENXIO, ...
        }
        pollfd p{fd_, POLLOUT, 0};
        const int r = ::poll(&p, 1, kWriteStallMs);
        if (r == 0 || (r > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0)) {
            return false;  // stalled or gone
        }
        if (r < 0 && errno != EINTR) {
            return false;
        }
    }
    return true;
}

long SerialTransport::read(std::span<std::uint8_t> buffer, std::stop_token stop,
                           Duration deadline) {
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
            const Duration slice = std::min(left, kReadSlice);
            timeoutMs =
                static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(slice).count());
        }
        pollfd fds[2] = {{fd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        const int r = ::poll(fds, 2, timeoutMs);
        if (r < 0) {
            if (errno == EINTR) {
                continue;
            }
            return -1;
        }
        if ((fds[1].revents & POLLIN) != 0) {
            std::uint64_t count = 0;
            [[maybe_unused]] const ssize_t n = ::read(wakeFd_, &count, sizeof count);
            continue;  // look at stop and closed again
        }
        if ((fds[0].revents & POLLIN) != 0) {
            const ssize_t n = ::read(fd_, buffer.data(), buffer.size());
            if (n > 0) {
                return static_cast<long>(n);
            }
            if (n == 0) {
                return -1;  // end of file: the port hung up
            }
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
                continue;
            }
            return -1;
        }
        if ((fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            return -1;
        }
    }
}

}  // namespace fota::ant
