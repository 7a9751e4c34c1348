// Load and soak figures, measured (not asserted):
//
//   fota-soak upgrades [N]   N whole upgrades (default 100) in one process, each
//                            against a fresh simulated stick and trainer in
//                            virtual time; after each: resident memory
//                            (/proc/self/statm), open file handles
//                            (/proc/self/fd), and the event log checked whole
//                            and in order against what the program logged.
//   fota-soak events [H]     the window open on the default trainer type for H
//                            hours of virtual time (default 24) after a dry run
//                            of the upgrade: the trainer's pages keep coming
//                            (about one a second); samples the message queue,
//                            memory and file handles every hour.
//
// Exit status 1 when a log was not intact or memory or handles kept growing.

#include <dirent.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "antlink/AntSerialLibrary.h"
#include "antlink/InProcessTransport.h"
#include "log/EventLog.h"
#include "platform/EventLoop.h"
#include "sim/Simulator.h"
#include "tests/e2e/UpgradeHarness.h"
#include "ui/HeadlessWindow.h"

using namespace fota;

namespace {

double ResidentMiB() {
    std::ifstream in("/proc/self/statm");
    long size = 0;
    long resident = 0;
    in >> size >> resident;
    return static_cast<double>(resident) * static_cast<double>(::sysconf(_SC_PAGESIZE)) /
           (1024.0 * 1024.0);
}

int OpenHandles() {
    int n = 0;
    if (DIR* d = ::opendir("/proc/self/fd")) {
        while (const dirent* e = ::readdir(d)) {
            n += e->d_name[0] != '.' ? 1 : 0;
        }
        ::closedir(d);
    }
    return n - 1;  // the directory handle itself
}

// Every line of the log file whole (time stamp, text, line end), in the order
// the program logged them, with the time stamps never going back.
std::string CheckLog(const testing::UpgradeRun& run) {
    static const std::regex line(R"((\d\d/\d\d/\d\d \d\d:\d\d:\d\d) (.*))");
    std::vector<std::string> texts;
    std::string last;
    std::istringstream in(run.logFile);
    std::string l;
    std::size_t n = 0;
    while (std::getline(in, l)) {
        ++n;
        if (!l.empty() && l.back() == '\r') {
            l.pop_back();
        }
        // The window's closing line is the one written without a leading time stamp.
        static const std::regex closing(R"(FormDestroy \d\d/\d\d/\d\d \d\d:\d\d:\d\d)");
        std::smatch m;
        if (std::regex_match(l, closing)) {
            texts.push_back(l);
            continue;
        }
        if (!std::regex_match(l, m, line)) {
            return "line " + std::to_string(n) + " is not whole: " + l;
        }
        if (m[1].str() < last) {
            return "line " + std::to_string(n) + " goes back in time";
        }
        last = m[1].str();
        texts.push_back(m[2].str());
    }
    if (!run.logFile.empty() && run.logFile.back() != '\n') {
        return "the last line has no line end";
    }
    if (texts.size() != run.eventLog.size() + 1 || texts.back().rfind("FormDestroy ", 0) != 0) {
        return "the file holds " + std::to_string(texts.size()) + " lines, the program logged " +
               std::to_string(run.eventLog.size()) + " and the closing line";
    }
    for (std::size_t i = 0; i < run.eventLog.size(); ++i) {
        if (texts[i] != run.eventLog[i]) {
            return "line " + std::to_string(i + 1) + " differs from what was logged";
        }
    }
    return {};
}

int Upgrades(int count) {
    sim::SimConfig config;  // the default trainer: KOV, version 90, two passes
    std::vector<double> rss;
    std::vector<int> fds;
    int broken = 0;
    const auto start = std::chrono::steady_clock::now();
    std::printf("%6s %10s %8s %12s %s\n", "run", "RSS MiB", "handles", "protocol s", "log");
    for (int i = 1; i <= count; ++i) {
        const testing::UpgradeRun run = testing::RunUpgrade(config);
        const std::string log = CheckLog(run);
        if (!log.empty() || run.finalState != psfFinishOK) {
            ++broken;
        }
        rss.push_back(ResidentMiB());
        fds.push_back(OpenHandles());
        if (i <= 3 || i % 10 == 0 || !log.empty()) {
            std::printf("%6d %10.1f %8d %12.1f %s\n", i, rss.back(), fds.back(), run.upgradeSeconds,
                        log.empty() ? "intact" : log.c_str());
        }
    }
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // Growth: the last tenth against the second tenth (the first warms the heap up).
    const std::size_t tenth = std::max<std::size_t>(1, rss.size() / 10);
    const double early = rss[std::min(tenth, rss.size() - 1)];
    const double late = rss.back();
    std::printf(
        "%d upgrades in %.1f s of wall time (%.0f ms each); RSS %.1f MiB after run %zu, %.1f "
        "MiB after run %d; handles %d -> %d; %d runs failed or left a broken log\n",
        count, wall, 1000 * wall / count, early, tenth + 1, late, count, fds.front(), fds.back(),
        broken);
    const bool grew = late > early + 2.0 || fds.back() > fds.front();
    return broken == 0 && !grew ? 0 : 1;
}

int Events(int hours) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("fota-soak-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    VirtualClock clock;
    eventlog::setFolder(dir.string());
    eventlog::setClock(&clock);
    eventlog::setDebugOutput(false);
    ant::InProcessLine line(clock);
    sim::Simulator simulator(clock, line);
    ant::AntSerialLibrary library(
        clock, [&line](ant::UCHAR, ant::ULONG) { return ant::OpenedTransport(line.programEnd()); });
    EventLoop loop(clock);
    std::size_t boxLines = 0;
    HeadlessWindow::Observer observer;
    observer.logBoxLine = [&boxLines](const std::string&) { ++boxLines; };
    observer.inputBox = [](const std::string&, const std::string&, const std::string&) {
        return std::optional<std::string>("1234");
    };
    int status = 0;
    {
        HeadlessWindow window(loop, library, observer);
        TMainForm& form = window.form();
        // A dry run: the worker asks its questions, chooses an image and stops
        // there; the channel stays open and the trainer's pages keep coming.
        form.BeforeProgramming = [](TFOTAThread&, const std::string&, const TFirmware&) {
            return false;
        };
        form.FormCreate(nullptr);
        form.Btn_StartClick();
        std::printf("%6s %8s %10s %10s %10s %8s %12s\n", "hour", "pages", "queue", "peak",
                    "RSS MiB", "handles", "log box");
        double firstRss = 0;
        int firstFds = 0;
        for (int h = 1; h <= hours && !window.closed(); ++h) {
            loop.runUntil([&] { return window.closed(); }, std::chrono::hours(1));
            const double rss = ResidentMiB();
            const int fds = OpenHandles();
            if (h == 1) {
                firstRss = rss;
                firstFds = fds;
            }
            std::printf("%6d %8u %10zu %10zu %10.1f %8d %12zu\n", h,
                        simulator.trainer().counters.broadcasts, form.ChannelGenericQueue->Count(),
                        form.ChannelGenericQueue->Peak(), rss, fds, boxLines);
            if (h == hours && (fds > firstFds || form.ChannelGenericQueue->Count() > 10)) {
                status = 1;
            }
            (void)firstRss;
        }
        if (window.closed()) {
            std::printf("the window closed early: %s\n",
                        window.messages().empty() ? "" : window.messages().back().c_str());
            status = 1;
        }
        form.Btn_StopClick();
        loop.run();
    }
    eventlog::setClock(nullptr);
    eventlog::setFolder(std::nullopt);
    fs::remove_all(dir);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    const int n = argc > 2 ? std::atoi(argv[2]) : 0;
    if (mode == "upgrades" && argc <= 3 && (argc < 3 || n > 0)) {
        return Upgrades(n > 0 ? n : 100);
    }
    if (mode == "events" && argc <= 3 && (argc < 3 || n > 0)) {
        return Events(n > 0 ? n : 24);
    }
    std::cerr << "usage: fota-soak upgrades [N] | fota-soak events [HOURS]\n";
    return 2;
}
