// Runs the whole fault matrix (tests/reliability/FaultMatrix.h) and writes it
// into docs/reliability.md, between the lines "<!-- matrix:begin -->" and
// "<!-- matrix:end -->" (the rest of the file is left as it is).
//
//   fota-reliability [--out FILE] [--seeds N] [--jobs N] [--filter TEXT] [--list]
//
// Each cell runs in a child process of its own, so a crash or a hang in one
// cell is a finding about that cell, not the end of the run. A child that
// has not finished after --wall-limit seconds of real time is killed and its
// cell counts as a hang. The exit status is 0 when every cell held.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/reliability/FaultMatrix.h"

using namespace fota;
using namespace fota::reliability;

namespace {

constexpr const char* kBegin = "<!-- matrix:begin -->";
constexpr const char* kEnd = "<!-- matrix:end -->";

struct Options {
    std::string out = "docs/reliability.md";
    unsigned seeds = 2;
    unsigned jobs = 2;
    unsigned wallLimit = 600;
    std::string filter;
    bool list = false;
};

bool ParseUnsigned(const char* text, unsigned& value) {
    char* end = nullptr;
    const unsigned long v = std::strtoul(text, &end, 10);
    if (end == text || *end != '\0' || v == 0 || v > 1000) {
        return false;
    }
    value = static_cast<unsigned>(v);
    return true;
}

int Usage() {
    std::cerr << "usage: fota-reliability [--out FILE] [--seeds N] [--jobs N] "
                 "[--wall-limit SECONDS] [--filter TEXT] [--list]\n";
    return 2;
}

struct Child {
    pid_t pid = 0;
    std::size_t cell = 0;
    std::string resultFile;
};

CellResult Failed(const Cell& cell, const std::string& why) {
    CellResult r = NamedResult(cell);
    // What the cell did is unknown (appended: GCC 12 at -O3 warns falsely
    // about assigning a short literal here).
    r.state += '?';
    r.end = why;
    r.chosen += '?';
    r.holds += '?';
    r.held = false;
    r.breach = why;
    return r;
}

CellResult Collect(const Cell& cell, const Child& child, int status) {
    if (WIFSIGNALED(status)) {
        const int sig = WTERMSIG(status);
        return Failed(cell, sig == SIGALRM ? "no end: killed after the wall-time limit"
                                           : std::string("crashed: ") + strsignal(sig));
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return Failed(cell, "crashed: exit status " + std::to_string(WEXITSTATUS(status)));
    }
    std::ifstream in(child.resultFile);
    std::string line;
    CellResult r;
    if (!std::getline(in, line) || !Deserialize(line, r)) {
        return Failed(cell, "the cell wrote no result");
    }
    return r;
}

std::string Replace(const std::string& old, const std::string& table) {
    const auto b = old.find(kBegin);
    const auto e = old.find(kEnd);
    const std::string section = std::string(kBegin) + "\n" + table + kEnd;
    if (b == std::string::npos || e == std::string::npos || e < b) {
        return "# Reliability\n\n## Fault matrix\n\n" + section + "\n";
    }
    return old.substr(0, b) + section + old.substr(e + std::strlen(kEnd));
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    std::string command = "fota-reliability";
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        const char* v = nullptr;
        if (a == "--list") {
            o.list = true;
        } else if (a == "--out" && (v = next())) {
            o.out = v;
        } else if (a == "--filter" && (v = next())) {
            o.filter = v;
        } else if (a == "--seeds" && (v = next()) && ParseUnsigned(v, o.seeds)) {
        } else if (a == "--jobs" && (v = next()) && ParseUnsigned(v, o.jobs)) {
        } else if (a == "--wall-limit" && (v = next()) && ParseUnsigned(v, o.wallLimit)) {
        } else {
            return Usage();
        }
        if (a != "--out" && a != "--list") {
            command += " " + a + (v ? std::string(" ") + v : "");
        }
    }

    std::vector<Cell> cells;
    for (auto& c : AllCells(o.seeds)) {
        if (o.filter.empty() || c.id().find(o.filter) != std::string::npos) {
            cells.push_back(std::move(c));
        }
    }
    if (o.list) {
        for (const auto& c : cells) {
            std::cout << c.id() << "\n";
        }
        return 0;
    }

    const auto dir =
        std::filesystem::temp_directory_path() / ("fota-matrix-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const auto start = std::chrono::steady_clock::now();
    std::vector<CellResult> results(cells.size());
    std::map<pid_t, Child> running;
    std::size_t next = 0;
    std::size_t done = 0;
    std::cout.flush();
    while (done < cells.size()) {
        while (next < cells.size() && running.size() < o.jobs) {
            Child child;
            child.cell = next;
            child.resultFile = (dir / ("cell-" + std::to_string(next))).string();
            const pid_t pid = ::fork();
            if (pid < 0) {
                std::perror("fork");
                return 1;
            }
            if (pid == 0) {
                ::alarm(o.wallLimit);
                const CellResult r = RunCell(cells[next]);
                std::ofstream out(child.resultFile);
                out << Serialize(r) << "\n";
                out.close();
                std::_Exit(out ? 0 : 3);
            }
            child.pid = pid;
            running[pid] = child;
            ++next;
        }
        int status = 0;
        const pid_t pid = ::waitpid(-1, &status, 0);
        if (pid < 0) {
            std::perror("waitpid");
            return 1;
        }
        const auto it = running.find(pid);
        if (it == running.end()) {
            continue;
        }
        const Child child = it->second;
        running.erase(it);
        results[child.cell] = Collect(cells[child.cell], child, status);
        ++done;
        const CellResult& r = results[child.cell];
        std::cout << "[" << done << "/" << cells.size() << "] " << (r.held ? "held  " : "BROKEN")
                  << " " << r.id << " -> " << r.state << ", " << r.end
                  << (r.held ? "" : " (" + r.breach + ")") << std::endl;
    }
    std::filesystem::remove_all(dir);

    MatrixSummary summary;
    summary.command = command;
    summary.seeds = o.seeds;
    summary.wallSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::string old;
    {
        std::ifstream in(o.out);
        std::ostringstream s;
        s << in.rdbuf();
        old = s.str();
    }
    std::ofstream out(o.out);
    out << Replace(old, Markdown(results, summary));
    if (!out) {
        std::cerr << "cannot write " << o.out << "\n";
        return 1;
    }
    std::size_t held = 0;
    for (const auto& r : results) {
        held += r.held ? 1 : 0;
    }
    std::cout << "cells held: " << held << " / " << results.size() << " -> " << o.out << "\n";
    return held == results.size() ? 0 : 1;
}
