#include "log/EventLog.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/Clock.h"

using namespace fota;
namespace fs = std::filesystem;

namespace {

std::string readAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

class EventLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("fota-log-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        eventlog::setFolder(dir_.string());
        eventlog::setDebugOutput(false);
        ::setenv("TZ", "UTC", 1);
        ::tzset();
        std::setlocale(LC_ALL, "C");
    }
    void TearDown() override {
        eventlog::setFolder(std::nullopt);
        eventlog::setClock(nullptr);
        fs::remove_all(dir_);
    }
    fs::path file() const { return dir_ / kLogFileName; }
    fs::path dir_;
};

TEST_F(EventLogTest, LinesAreTimeStampedAndAppendedWithCrLf) {
    VirtualClock clock;
    eventlog::setClock(&clock);
    WriteLog("Select Firmware to send");
    clock.sleepFor(std::chrono::seconds(61));
    WriteLog("");
    WriteLog("two\nlines");
    EXPECT_EQ(readAll(file()),
              "01/05/26 08:00:00 Select Firmware to send\r\n"
              "01/05/26 08:01:01 \r\n"
              "01/05/26 08:01:01 two\nlines\r\n");
}

TEST_F(EventLogTest, DeletedFileIsCreatedAgainAndUnwritableFolderLosesOnlyThatLine) {
    WriteLog("first");
    fs::remove(file());
    WriteLog("second");
    std::string text = readAll(file());
    EXPECT_EQ(text.find("first"), std::string::npos);
    EXPECT_NE(text.find("second"), std::string::npos);

    eventlog::setFolder((dir_ / "missing").string());
    EXPECT_NO_THROW(WriteLog("lost"));
    eventlog::setFolder(dir_.string());
    WriteLog("third");
    text = readAll(file());
    EXPECT_EQ(text.find("lost"), std::string::npos);
    EXPECT_NE(text.find("third"), std::string::npos);
}

TEST_F(EventLogTest, TwoThreadsNeverInterleaveLines) {
    constexpr int kLines = 400;
    auto writer = [](char tag) {
        for (int i = 0; i < kLines; ++i) {
            WriteLog(std::string(60, tag) + std::to_string(i));
        }
    };
    std::thread a(writer, 'a');
    std::thread b(writer, 'b');
    a.join();
    b.join();
    std::istringstream in(readAll(file()));
    std::string line;
    int seen[2] = {0, 0};
    int last[2] = {-1, -1};
    while (std::getline(in, line)) {
        ASSERT_FALSE(line.empty());
        ASSERT_EQ(line.back(), '\r');
        const auto body = line.substr(line.find(' ', line.find(' ') + 1) + 1);
        const char tag = body.front();
        ASSERT_TRUE(tag == 'a' || tag == 'b') << line;
        ASSERT_EQ(body.substr(0, 60), std::string(60, tag)) << line;
        const int n = std::stoi(body.substr(60));
        EXPECT_EQ(n, last[tag - 'a'] + 1);  // each thread's lines in call order
        last[tag - 'a'] = n;
        ++seen[tag - 'a'];
    }
    EXPECT_EQ(seen[0], kLines);
    EXPECT_EQ(seen[1], kLines);
}

TEST_F(EventLogTest, ObserverSeesTheTextWithoutTimeStamp) {
    std::vector<std::string> seen;
    eventlog::setObserver([&](const std::string& t) { seen.push_back(t); });
    WriteLog("Start Transmission");
    eventlog::setObserver(nullptr);
    EXPECT_EQ(seen, std::vector<std::string>{"Start Transmission"});
}

// Where the desktop is, for a fake home folder.
TEST_F(EventLogTest, DesktopFolderFollowsTheUserDirsFile) {
    const fs::path home = dir_ / "home";
    const fs::path config = home / ".config";
    fs::create_directories(config);
    const std::string savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    ::setenv("HOME", home.c_str(), 1);
    ::unsetenv("XDG_CONFIG_HOME");

    struct Case {
        const char* what;
        const char* userDirs;  // nullptr: no file
        const char* makeDir;   // relative to home, or nullptr
        fs::path expected;
    } cases[] = {
        {"no user-dirs file, ~/Desktop exists", nullptr, "Desktop", home / "Desktop"},
        {"user-dirs names another folder", "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n",
         "Schreibtisch", home / "Schreibtisch"},
        {"named folder missing: home", "XDG_DESKTOP_DIR=\"$HOME/Gone\"\n", nullptr, home},
        {"no desktop folder at all: home", nullptr, nullptr, home},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(home / "Desktop");
        fs::remove(config / "user-dirs.dirs");
        if (c.userDirs) {
            std::ofstream(config / "user-dirs.dirs") << "# comment\n" << c.userDirs;
        }
        if (c.makeDir) {
            fs::create_directories(home / c.makeDir);
        }
        EXPECT_EQ(DesktopFolder(), c.expected.string());
    }
    ::setenv("HOME", savedHome.c_str(), 1);
}

}  // namespace
