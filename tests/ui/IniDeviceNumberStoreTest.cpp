// The device numbers in the settings file shared with the window program:
// where the file is, how key paths map to its sections, and what the main
// window's lookup makes of what it holds.

#include "ui/IniDeviceNumberStore.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <mutex>

#include "log/EventLog.h"
#include "platform/Clock.h"
#include "tests/ui/Fakes.h"

using namespace fota;

namespace {

namespace fs = std::filesystem;

fs::path Folder() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const fs::path dir = fs::path(::testing::TempDir()) /
                         ("fota_store_" + std::to_string(::getpid()) + "_" + info->name());
    fs::create_directories(dir);
    return dir;
}

class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
        }
        if (value) {
            ::setenv(name, value->c_str(), 1);
        } else {
            ::unsetenv(name);
        }
    }
    ~ScopedEnv() {
        if (old_) {
            ::setenv(name_, old_->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(IniDeviceNumberStore, TheFileOfTheWindowProgramsSettings) {
    const fs::path cwd = fs::current_path();
    const struct {
        std::optional<std::string> xdg;
        std::optional<std::string> home;
        std::string path;
    } cases[] = {
        {"/cfg", "/home/u", "/cfg/Norvo/Mova.conf"},
        {"/cfg/", "/home/u", "/cfg/Norvo/Mova.conf"},
        {std::nullopt, "/home/u", "/home/u/.config/Norvo/Mova.conf"},
        {"", "/home/u", "/home/u/.config/Norvo/Mova.conf"},
        {"rel", "/home/u", (cwd / "rel" / "Norvo" / "Mova.conf").string()},
        {std::nullopt, std::nullopt, "/.config/Norvo/Mova.conf"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        ScopedEnv xdg("XDG_CONFIG_HOME", c.xdg);
        ScopedEnv home("HOME", c.home);
        EXPECT_EQ(IniDeviceNumberStore::DefaultPath(), c.path);
    }
}

TEST(IniDeviceNumberStore, KeyPathsBecomeSectionsAndKeys) {
    using S = IniDeviceNumberStore;
    EXPECT_EQ(S::SettingsKey("\\SOFTWARE\\Norvo\\Mova\\PelorDeviceMovaAnt\\",
                             "MovaAntSettings_TrainerDeviceNumber"),
              "PelorDeviceMovaAnt/MovaAntSettings_TrainerDeviceNumber");
    EXPECT_EQ(S::SettingsKey("\\SOFTWARE\\Norvo\\Mova\\PelorDeviceAntP\\", "QebAntP_DeviceNumber"),
              "PelorDeviceAntP/QebAntP_DeviceNumber");
    EXPECT_EQ(S::SettingsKey("software\\norvo\\mova\\A\\B", "n"), "A/B/n");
    EXPECT_EQ(S::SettingsKey("\\SOFTWARE\\Norvo\\Mova\\", "n"), "");  // no key under the root
    EXPECT_EQ(S::SettingsKey("\\SOFTWARE\\Other\\A\\", "n"), "");
    EXPECT_EQ(S::SettingsKey("\\SOFTWARE\\Norvo\\Mova\\A\\", ""), "");
}

TEST(IniDeviceNumberStore, TheMainWindowsLookupOverTheFile) {
    const fs::path dir = Folder();
    const struct {
        const char* name;
        std::string file;  // empty: no file
        std::int32_t trainer;
        std::int32_t console;
        const char* logged;  // a line the lookup writes, or ""
    } cases[] = {
        {"no_file", "", -1, -1, ""},
        {"first_location",
         "[PelorDeviceMovaAnt]\nMovaAntSettings_TrainerDeviceNumber=1234\n"
         "MovaAntSettings_ConsoleSerialNumber=4321\n",
         1234, 4321, ""},
        {"second_location",
         "[PelorDeviceAntP]\nQebAntP_DeviceNumber=77\nQebAntP_ConsoleDeviceNumber=$10\n", 77, 16,
         ""},
        {"first_wins",
         "[PelorDeviceAntP]\nQebAntP_DeviceNumber=77\n"
         "[PelorDeviceMovaAnt]\nMovaAntSettings_TrainerDeviceNumber=5\n",
         5, -1, ""},
        {"not_a_number_is_absent",
         "[PelorDeviceMovaAnt]\nMovaAntSettings_TrainerDeviceNumber=12a\n"
         "[PelorDeviceAntP]\nQebAntP_DeviceNumber=8\n",
         8, -1, "'12a' is not a valid integer value"},
        {"a_list_is_no_number", "[PelorDeviceMovaAnt]\nMovaAntSettings_TrainerDeviceNumber=1,2\n",
         -1, -1, "'1,2' is not a valid integer value"},
        {"not_stored_as_text",
         "[PelorDeviceMovaAnt]\nMovaAntSettings_TrainerDeviceNumber=@ByteArray(12)\n", -1, -1,
         "MovaAntSettings_TrainerDeviceNumber: not stored as text"},
        {"malformed_file_holds_nothing",
         "[PelorDeviceMovaAnt]\nMovaAntSettings_TrainerDeviceNumber=12\n[broken\n", -1, -1,
         "the settings cannot be read"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path file = dir / (std::string(c.name) + ".conf");
        if (!c.file.empty()) {
            std::ofstream(file, std::ios::binary) << c.file;
        }
        std::mutex m;
        std::vector<std::string> lines;
        eventlog::setFolder(std::string());
        eventlog::setDebugOutput(false);
        eventlog::setObserver([&](const std::string& l) {
            std::lock_guard lock(m);
            lines.push_back(l);
        });
        {
            VirtualClock clock;
            fota::testing::RecordingPort port;
            fota::testing::ScriptedAntLibrary library;
            TMainForm form(port, library, clock);
            IniDeviceNumberStore store(file.string());
            EXPECT_EQ(form.ReadTrainerDeviceNumber(&store), c.trainer);
            EXPECT_EQ(form.ReadConsoleDeviceNumber(&store), c.console);
        }
        eventlog::setObserver(nullptr);
        eventlog::setFolder(std::nullopt);
        eventlog::setDebugOutput(true);
        bool found = std::string(c.logged).empty();
        for (const std::string& l : lines) {
            found = found || l.find(c.logged) != std::string::npos;
        }
        EXPECT_TRUE(found) << c.logged;
    }
    fs::remove_all(dir);
}

}  // namespace
