#include "antlink/SerialTransport.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "antlink/ANTDEFINES.h"
#include "antlink/AntMessages.h"
#include "antlink/AntSerialLibrary.h"
#include "tests/antlink/FakeStick.h"
#include "tests/antlink/Pty.h"

using namespace fota;
using namespace fota::ant;
using namespace fota::ant::testing;
using namespace std::chrono_literals;

namespace {

// The library on the slave side of a pty, a scripted stick on the master
// side, in real time (each step takes milliseconds).
struct PtyRig {
    PtyRig()
        : stick(clock, std::make_unique<PtyMasterEnd>(pty)), lib(clock, [this](UCHAR, ULONG baud) {
              return SerialTransport::open(clock, pty.slavePath(), baud);
          }) {}

    bool waitFor(const std::function<bool()>& ready) {
        return clock.waitFor(2s, ready) == WaitResult::Ready;
    }

    RealClock clock;
    Pty pty;
    FakeStick stick;
    AntSerialLibrary lib;
};

TEST(SerialPort, LibraryTalksToAStickOverAPtyWithEveryByteValueIntact) {
    PtyRig r;
    ASSERT_EQ(r.lib.ANT_Init(0, 57600, 0, 0), TRUE);
    EXPECT_EQ(r.lib.stickDescription(), r.pty.slavePath());
    EXPECT_FALSE(r.lib.isSimulated());

    ResponseBuffer response{};
    std::atomic<int> responses{0};
    r.lib.ANT_AssignResponseFunction(
        [&](UCHAR, UCHAR id) {
            if (id == MESG_RESPONSE_EVENT_ID) {
                ++responses;
                r.clock.notify();
            }
            return true;
        },
        response.data());
    r.stick.clear();
    const std::uint8_t key[8] = {0xB9, 0xA5, 0x21, 0xFB, 0xBD, 0x72, 0xC3, 0x45};
    EXPECT_EQ(r.lib.ANT_SetNetworkKey(0, key), TRUE);
    ASSERT_TRUE(r.waitFor([&] { return responses.load() == 1; }));
    EXPECT_EQ(response, (ResponseBuffer{0x00, 0x46, 0x00, 0x00}));

    // Bytes a cooked terminal would eat or change: XON/XOFF, interrupt,
    // CR/LF, erase, end of file.
    Bytes data(65 * 8);
    const std::uint8_t special[] = {0x11, 0x13, 0x03, 0x0A, 0x0D, 0x7F, 0x04, 0x1A, 0x00, 0xFF};
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = special[i % std::size(special)];
    }
    EXPECT_EQ(r.lib.ANT_SendBurstTransfer(0, data.data(), 65), TRUE);
    Bytes expected = networkKeyMessage(0, key);
    const Bytes burst = burstMessages(0, data);
    expected.insert(expected.end(), burst.begin(), burst.end());
    ASSERT_TRUE(r.waitFor([&] { return r.stick.bytes().size() >= expected.size(); }));
    EXPECT_EQ(r.stick.bytes(), expected);
    r.lib.ANT_Close();
}

TEST(SerialPort, APortThatHangsUpIsALostStick) {
    PtyRig r;
    ASSERT_EQ(r.lib.ANT_Init(0, 57600, 0, 0), TRUE);
    std::atomic<int> lost{0};
    r.lib.setStickLostHandler([&] {
        ++lost;
        r.clock.notify();
    });
    r.pty.closeMaster();
    ASSERT_TRUE(r.waitFor([&] { return lost.load() == 1; }));
    EXPECT_TRUE(r.lib.stickLost());
    EXPECT_EQ(r.lib.ANT_SendAcknowledgedData(0, Bytes(8).data()), FALSE);
    const auto start = std::chrono::steady_clock::now();
    r.lib.ANT_Close();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_EQ(lost, 1);
}

// A read ends for a stop request, close() or its deadline, whichever comes.
TEST(SerialPort, ReadEndsOnStopCloseOrDeadline) {
    struct Case {
        const char* what;
        Duration deadlineIn;  // from now; kForever for none
        bool stop;
        bool close;
        long result;
    } cases[] = {
        {"deadline", 30ms, false, false, 0},
        {"stop request", kForever, true, false, 0},
        {"close", kForever, false, true, -1},
    };
    RealClock clock;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Pty pty;
        auto opened = SerialTransport::open(clock, pty.slavePath(), 57600);
        ASSERT_TRUE(opened.transport) << opened.error;
        ByteTransport& port = *opened.transport;
        std::stop_source stop;
        std::atomic<bool> fired{false};
        std::thread trigger([&] {
            std::this_thread::sleep_for(20ms);
            fired = true;
            if (c.stop) {
                stop.request_stop();
            }
            if (c.close) {
                port.close();
            }
        });
        const auto start = std::chrono::steady_clock::now();
        const Duration deadline = c.deadlineIn == kForever ? kForever : clock.now() + c.deadlineIn;
        std::uint8_t buffer[16];
        EXPECT_EQ(port.read(buffer, stop.get_token(), deadline), c.result);
        const auto took = std::chrono::steady_clock::now() - start;
        if (c.deadlineIn == kForever) {
            EXPECT_TRUE(fired);  // nothing else ended it
        } else {
            EXPECT_GE(took, c.deadlineIn);
        }
        EXPECT_LT(took, 1s);
        trigger.join();
    }
}

TEST(SerialPort, OpenSaysWhatWentWrong) {
    RealClock clock;
    Pty pty;
    const auto file = std::filesystem::temp_directory_path() / "fota-serial-test-file";
    std::ofstream(file) << "not a port";
    auto first = SerialTransport::open(clock, pty.slavePath(), 57600);
    ASSERT_TRUE(first.transport) << first.error;

    struct Case {
        const char* what;
        std::string path;
        std::uint32_t baud;
        std::string error;
    } cases[] = {
        {"missing", "/nonexistent/ttyUSB9", 57600,
         "cannot open /nonexistent/ttyUSB9: No such file or directory"},
        {"not a terminal", file.string(), 57600,
         "cannot use " + file.string() + ": not a serial port"},
        {"already in use", pty.slavePath(), 57600,
         "cannot use " + pty.slavePath() + ": in use by another program"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto opened = SerialTransport::open(clock, c.path, c.baud);
        EXPECT_FALSE(opened.transport);
        EXPECT_EQ(opened.error, c.error);
    }
    first.transport.reset();
    auto badBaud = SerialTransport::open(clock, pty.slavePath(), 50000);
    EXPECT_FALSE(badBaud.transport);
    EXPECT_EQ(badBaud.error, "cannot use " + pty.slavePath() + ": unsupported baud rate 50000");
    std::filesystem::remove(file);
}

}  // namespace
