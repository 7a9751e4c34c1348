// The stick on a pseudo-terminal: the transport, and fota-sim as a process.
// These run on the real clock, for a few milliseconds each.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <thread>

#include "antlink/ANTDEFINES.h"
#include "antlink/AntFrame.h"
#include "sim/PtyTransport.h"
#include "sim/Simulator.h"

using namespace fota;
using namespace fota::sim;
using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

namespace {

// The program's end of the pty, opened the way a serial port is.
int openRaw(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd >= 0) {
        termios tio{};
        ::tcgetattr(fd, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(fd, TCSANOW, &tio);
    }
    return fd;
}

// Reads from fd until `want` bytes came or timeoutMs passed; -1 on hang-up.
long readFor(int fd, Bytes& out, std::size_t want, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (out.size() < want) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            break;
        }
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) {
            continue;
        }
        std::uint8_t buf[256];
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0) {
            return -1;
        }
        out.insert(out.end(), buf, buf + n);
    }
    return static_cast<long>(out.size());
}

TEST(PtyTransport, CarriesBytesBothWaysAndEndsTheLineOnClose) {
    RealClock clock;
    std::string error;
    auto pty = PtyTransport::open(clock, &error);
    ASSERT_TRUE(pty) << error;
    const int fd = openRaw(pty->slavePath());
    ASSERT_GE(fd, 0);

    const Bytes toStick = {0xA4, 0x01, 0x4A, 0x00, 0xEF, 0x0A, 0x0D};  // no line discipline
    ASSERT_EQ(::write(fd, toStick.data(), toStick.size()), static_cast<ssize_t>(toStick.size()));
    Bytes got;
    while (got.size() < toStick.size()) {
        std::uint8_t buf[64];
        const long n = pty->read(buf, {}, clock.now() + 1s);
        ASSERT_GT(n, 0);
        got.insert(got.end(), buf, buf + n);
    }
    EXPECT_EQ(got, toStick);

    const Bytes toProgram = {0xA4, 0x01, 0x6F, 0x20, 0xEA, 0x0A};
    ASSERT_TRUE(pty->write(toProgram));
    Bytes back;
    readFor(fd, back, toProgram.size(), 1000);
    EXPECT_EQ(back, toProgram);

    // A deadline with nothing to read, and a stop request.
    std::uint8_t buf[16];
    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(pty->read(buf, {}, clock.now() + 20ms), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - before, 20ms);
    std::stop_source stop;
    std::thread stopper([&] {
        std::this_thread::sleep_for(10ms);
        stop.request_stop();
    });
    EXPECT_EQ(pty->read(buf, stop.get_token()), 0);
    stopper.join();

    // Closing ends a blocked read and hangs up the program's end.
    std::thread closer([&] {
        std::this_thread::sleep_for(10ms);
        pty->close();
    });
    EXPECT_EQ(pty->read(buf, {}), -1);
    closer.join();
    EXPECT_FALSE(pty->write(toProgram));
    Bytes after;
    EXPECT_EQ(readFor(fd, after, 1, 1000), -1);
    ::close(fd);
}

// Sends a reset to the stick on `path` and expects its start-up message.
void ExpectStartUpAfterReset(const std::string& path) {
    const int fd = openRaw(path);
    ASSERT_GE(fd, 0);
    const Bytes reset = ant::encodeFrame(ant::MESG_SYSTEM_RESET_ID, Bytes{0});
    ASSERT_EQ(::write(fd, reset.data(), reset.size()), static_cast<ssize_t>(reset.size()));
    Bytes got;
    readFor(fd, got, 5, 2000);
    EXPECT_EQ(got, ant::encodeFrame(ant::MESG_STARTUP_MESG_ID, Bytes{0x20}));
    ::close(fd);
}

TEST(PtyTransport, SimulatorAnswersOverThePty) {
    RealClock clock;
    auto pty = PtyTransport::open(clock);
    ASSERT_TRUE(pty);
    const std::string path = pty->slavePath();
    Simulator sim(clock, std::move(pty), SimConfig{});
    ExpectStartUpAfterReset(path);
}

#ifdef FOTA_SIM_PROGRAM
TEST(FotaSimProgram, NamesItsPtyAnswersAResetAndEndsOnSigterm) {
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::close(out[0]);
        ::close(out[1]);
        ::execl(FOTA_SIM_PROGRAM, "fota-sim", "--quiet", "--speed", "4", "--version", "95",
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(out[1]);
    FILE* stdoutOfSim = ::fdopen(out[0], "r");
    ASSERT_NE(stdoutOfSim, nullptr);
    char line[256] = {};
    ASSERT_NE(std::fgets(line, sizeof line, stdoutOfSim), nullptr);
    const std::string first(line);
    const std::string prefix = "fota-sim: stick on ";
    ASSERT_EQ(first.rfind(prefix, 0), 0u) << first;
    const std::string path = first.substr(prefix.size(), first.size() - prefix.size() - 1);

    ExpectStartUpAfterReset(path);

    ASSERT_EQ(::kill(pid, SIGTERM), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    ASSERT_NE(std::fgets(line, sizeof line, stdoutOfSim), nullptr);
    EXPECT_NE(std::string(line).find("trainer reports version 95"), std::string::npos) << line;
    std::fclose(stdoutOfSim);
}

TEST(FotaSimProgram, RefusesABadOptionNamingIt) {
    const struct {
        const char* args;
        const char* message;
    } cases[] = {
        {"--unit-type 300", "fota-sim: --unit-type needs a number from 0 to 255\n"},
        {"--device-number 70000", "fota-sim: --device-number needs a number from 0 to 65535\n"},
        {"--speed 0", "fota-sim: --speed needs a factor from 0.1 to 1000\n"},
        {"--frob", "fota-sim: unknown option --frob\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        const std::string command = std::string(FOTA_SIM_PROGRAM) + " " + c.args + " 2>&1";
        FILE* out = ::popen(command.c_str(), "r");
        ASSERT_NE(out, nullptr);
        std::string text;
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, out)) {
            text += buffer;
        }
        const int status = ::pclose(out);
        EXPECT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 2);
        EXPECT_EQ(text, std::string(c.message) + "(see fota-sim --help)\n");
    }
}
#endif

}  // namespace
