#include "log/EventLog.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <mutex>

#include "platform/Clock.h"

namespace fota {

namespace {

struct Settings {
    std::mutex mutex;  // one line at a time reaches the file
    std::optional<std::string> folder;
    const Clock* clock = nullptr;
    std::function<void(const std::string&)> observer;
    bool debugOutput = true;
};

Settings& settings() {
    static Settings s;
    return s;
}

bool isDirectory(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string homeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home) {
        return home;
    }
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) {
        return pw->pw_dir;
    }
    return {};
}

// XDG_DESKTOP_DIR="$HOME/Desktop" from ${XDG_CONFIG_HOME:-~/.config}/user-dirs.dirs.
std::string xdgDesktopFromUserDirs(const std::string& home) {
    std::string config;
    if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && *x) {
        config = x;
    } else if (!home.empty()) {
        config = home + "/.config";
    } else {
        return {};
    }
    std::ifstream in(config + "/user-dirs.dirs");
    std::string line;
    const std::string key = "XDG_DESKTOP_DIR=";
    while (std::getline(in, line)) {
        if (line.rfind(key, 0) != 0) {
            continue;
        }
        std::string value = line.substr(key.size());
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
            value = value.substr(1, value.size() - 2);
        }
        if (value.rfind("$HOME", 0) == 0) {
            value = home + value.substr(5);
        }
        return value.empty() || value.front() != '/' ? std::string() : value;
    }
    return {};
}

std::string folderNow() {
    {
        std::lock_guard lock(settings().mutex);
        if (settings().folder) {
            return *settings().folder;
        }
    }
    return DesktopFolder();
}

}  // namespace

std::string DesktopFolder() {
    const std::string home = homeFolder();
    std::string desktop = xdgDesktopFromUserDirs(home);
    if (desktop.empty() && !home.empty()) {
        desktop = home + "/Desktop";
    }
    while (desktop.size() > 1 && desktop.back() == '/') {
        desktop.pop_back();
    }
    return isDirectory(desktop) ? desktop : home;
}

std::string LogTimeStamp() {
    const Clock* clock = nullptr;
    {
        std::lock_guard lock(settings().mutex);
        clock = settings().clock;
    }
    const auto now = clock ? clock->wallNow() : std::chrono::system_clock::now();
    const std::time_t t = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    ::localtime_r(&t, &local);
    char text[128];
    const std::size_t n = std::strftime(text, sizeof text, "%x %X", &local);
    return std::string(text, n);
}

void AppendLogLine(const std::string& line) {
    const std::string folder = folderNow();
    if (folder.empty()) {
        return;  // no folder to write to: the line is lost
    }
    const std::string path = folder + "/" + kLogFileName;
    std::lock_guard lock(settings().mutex);
    // Open, append, flush and close on every call: between calls the file is
    // free to be read, moved or deleted (a deleted file is created again).
    std::FILE* f = std::fopen(path.c_str(), "ab");
    if (!f) {
        return;
    }
    std::fwrite(line.data(), 1, line.size(), f);
    std::fwrite("\r\n", 1, 2, f);
    std::fflush(f);
    std::fclose(f);
}

void WriteLog(const std::string& text) {
    std::function<void(const std::string&)> observer;
    bool debug = true;
    {
        std::lock_guard lock(settings().mutex);
        observer = settings().observer;
        debug = settings().debugOutput;
    }
    if (debug) {
        std::fprintf(stderr, "%s\n", text.c_str());
    }
    if (observer) {
        observer(text);
    }
    AppendLogLine(LogTimeStamp() + " " + text);
}

namespace eventlog {

void setFolder(std::optional<std::string> folder) {
    std::lock_guard lock(settings().mutex);
    settings().folder = std::move(folder);
}

void setClock(const Clock* clock) {
    std::lock_guard lock(settings().mutex);
    settings().clock = clock;
}

void setObserver(std::function<void(const std::string&)> fn) {
    std::lock_guard lock(settings().mutex);
    settings().observer = std::move(fn);
}

void setDebugOutput(bool on) {
    std::lock_guard lock(settings().mutex);
    settings().debugOutput = on;
}

std::string filePath() {
    return folderNow() + "/" + kLogFileName;
}

}  // namespace eventlog

}  // namespace fota
