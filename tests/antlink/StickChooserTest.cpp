#include "antlink/StickChooser.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "antlink/ANTDEFINES.h"
#include "antlink/UsbTransport.h"
#include "tests/antlink/Pty.h"

using namespace fota;
using namespace fota::ant;
namespace fs = std::filesystem;

namespace {

// A sysfs look-alike: <root>/class/tty/<name>/device links to a port device
// below a USB interface below the USB device that holds the ids, as on Linux.
class FakeSysfs {
public:
    FakeSysfs() {
        char pattern[] = "/tmp/fota-sysfs-XXXXXX";
        root_ = ::mkdtemp(pattern);
        fs::create_directories(root_ / "sys" / "class" / "tty");
        fs::create_directories(root_ / "dev");
    }
    ~FakeSysfs() {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }

    // A USB serial port; vendor and product as sysfs writes them ("0fcf").
    void addUsbPort(const std::string& name, const std::string& vendor,
                    const std::string& product) {
        const fs::path usb = root_ / "sys" / "devices" / "usb1" / ("1-" + name);
        const fs::path port = usb / ("1-" + name + ":1.0") / name;
        fs::create_directories(port);
        std::ofstream(usb / "idVendor") << vendor << "\n";
        std::ofstream(usb / "idProduct") << product << "\n";
        link(name, port);
    }
    // A port that is not on USB (a PC's own serial port).
    void addPlatformPort(const std::string& name) {
        const fs::path port = root_ / "sys" / "devices" / "platform" / "serial8250" / name;
        fs::create_directories(port);
        link(name, port);
    }
    // A virtual terminal: no device at all.
    void addVirtualTerminal(const std::string& name) {
        fs::create_directories(root_ / "sys" / "class" / "tty" / name);
    }
    // Makes <root>/dev/<name> lead to a real terminal.
    void addDeviceNode(const std::string& name, const std::string& target) {
        fs::create_symlink(target, root_ / "dev" / name);
    }

    StickSearch search(bool tryLibusb = false) const {
        return {root_ / "sys", root_ / "dev", tryLibusb};
    }
    std::string dev(const std::string& name) const { return (root_ / "dev" / name).string(); }

private:
    void link(const std::string& name, const fs::path& port) {
        const fs::path entry = root_ / "sys" / "class" / "tty" / name;
        fs::create_directories(entry);
        fs::create_directory_symlink(port, entry / "device");
    }

    fs::path root_;
};

TEST(StickChooser, ParsesTheUsersChoice) {
    struct Case {
        const char* text;
        StickChoice::Kind kind;
        std::string port;
    } cases[] = {
        {"", StickChoice::Kind::Auto, ""},
        {"auto", StickChoice::Kind::Auto, ""},
        {"usb", StickChoice::Kind::Usb, ""},
        {"/dev/ttyUSB1", StickChoice::Kind::Port, "/dev/ttyUSB1"},
        {"/dev/pts/3", StickChoice::Kind::Port, "/dev/pts/3"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const auto choice = StickChoice::parse(c.text);
        EXPECT_EQ(choice.kind, c.kind);
        EXPECT_EQ(choice.port, c.port);
    }
}

TEST(StickChooser, FindsTheSerialPortsOfAntSticksBySysfsIds) {
    FakeSysfs sys;
    sys.addUsbPort("ttyUSB0", "0fcf", "1008");   // ANTUSB2
    sys.addUsbPort("ttyUSB1", "10c4", "ea60");   // some other CP210x gadget
    sys.addUsbPort("ttyUSB2", "0FCF", "1004");   // ANTUSB (upper case from a quirky driver)
    sys.addUsbPort("ttyUSB3", "0fcf", "zz");     // unreadable id
    sys.addUsbPort("ttyUSB10", "0fcf", "1009");  // ANTUSB-m, sorts after ttyUSB2
    sys.addUsbPort("ttyUSB4", "0fcf", "1010");   // not an ANT stick product
    sys.addPlatformPort("ttyS0");
    sys.addVirtualTerminal("tty1");

    const auto sticks = findSerialSticks(sys.search());
    ASSERT_EQ(sticks.size(), 3u);
    EXPECT_EQ(sticks[0].path, sys.dev("ttyUSB0"));
    EXPECT_EQ(sticks[0].product, USB_PRODUCT_ANTUSB2);
    EXPECT_EQ(sticks[1].path, sys.dev("ttyUSB2"));
    EXPECT_EQ(sticks[1].product, USB_PRODUCT_ANTUSB1);
    EXPECT_EQ(sticks[2].path, sys.dev("ttyUSB10"));
    EXPECT_EQ(sticks[2].product, USB_PRODUCT_ANTUSB_M);
}

TEST(StickChooser, AutomaticChoiceOpensTheFirstSticksPort) {
    FakeSysfs sys;
    fota::ant::testing::Pty pty;
    sys.addUsbPort("ttyUSB0", "0fcf", "1008");
    sys.addDeviceNode("ttyUSB0", pty.slavePath());
    RealClock clock;

    auto opened = openStick(clock, StickChoice::parse("auto"), 0, 57600, sys.search());
    ASSERT_TRUE(opened.transport) << opened.error;
    EXPECT_EQ(opened.transport->description(), sys.dev("ttyUSB0"));
    EXPECT_FALSE(opened.transport->isSimulated());
    opened.transport.reset();

    auto second = openStick(clock, StickChoice::parse("auto"), 1, 57600, sys.search());
    EXPECT_FALSE(second.transport);
    EXPECT_EQ(second.error, "no ANT USB stick number 1 found (serial ports of ANT sticks: " +
                                sys.dev("ttyUSB0") + ")");
}

TEST(StickChooser, SaysWhatItTriedWhenNoStickIsThere) {
    FakeSysfs sys;
    sys.addUsbPort("ttyUSB0", "10c4", "ea60");
    RealClock clock;
    const auto opened = openStick(clock, {}, 0, 57600, sys.search(false));
    EXPECT_FALSE(opened.transport);
    EXPECT_EQ(opened.error,
              "no ANT USB stick found (looked for serial ports of USB sticks 0fcf:1004, 0fcf:1008 "
              "and 0fcf:1009 in " +
                  (sys.search().sysfsRoot / "class" / "tty").string() + ")");

    const auto port = openStick(clock, StickChoice::parse("/nonexistent/ttyUSB0"), 0, 57600);
    EXPECT_EQ(port.error, "cannot open /nonexistent/ttyUSB0: No such file or directory");
}

// Without hardware only the empty case can be checked: libusb finds no stick
// (or cannot start at all) and says so instead of failing worse.
TEST(StickChooser, LibusbWithoutAStickGivesAClearError) {
    std::string libusbError;
    if (!listUsbSticks(&libusbError).empty()) {
        GTEST_SKIP() << "an ANT stick is plugged in";
    }
    RealClock clock;
    const auto usb = openStick(clock, StickChoice::parse("usb"), 0, 57600);
    EXPECT_FALSE(usb.transport);
    EXPECT_TRUE(usb.error.starts_with("no ANT USB stick found (")) << usb.error;
    EXPECT_NE(usb.error.find("libusb"), std::string::npos) << usb.error;

    FakeSysfs sys;
    const auto automatic = openStick(clock, {}, 0, 57600, sys.search(true));
    EXPECT_FALSE(automatic.transport);
    EXPECT_TRUE(automatic.error.starts_with("no ANT USB stick found (looked for serial ports"))
        << automatic.error;
    EXPECT_NE(automatic.error.find("libusb"), std::string::npos) << automatic.error;
}

}  // namespace
