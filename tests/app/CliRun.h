#pragma once
// Runs fota-cli's commands in-process for the tests: answers typed at a
// make-believe terminal, a settings file and a log folder of the test's own,
// and what the simulated trainer holds at the end.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "app/Cli.h"
#include "sim/Trainer.h"

namespace fota::testing {

namespace fs = std::filesystem;

// A folder of the running test's own, so that tests running in parallel
// never share a file.
inline fs::path TestFolder() {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    std::replace(name.begin(), name.end(), '/', '_');
    const fs::path dir =
        fs::path(::testing::TempDir()) / ("fota_cli_" + std::to_string(::getpid()) + "_" + name);
    fs::create_directories(dir);
    return dir;
}

inline std::string ReadFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
    std::string logFile;  // FirmwareUpdate.log, when the run wrote one
    std::optional<sim::TrainerReport> trainer;

    bool outHas(const std::string& text) const { return out.find(text) != std::string::npos; }
    bool errHas(const std::string& text) const { return err.find(text) != std::string::npos; }
    bool logHas(const std::string& text) const { return logFile.find(text) != std::string::npos; }
};

struct CliInput {
    // What is typed at the terminal; nullopt: there is no terminal.
    std::optional<std::string> typed;
    // The settings file's content; nullopt: there is none.
    std::optional<std::string> settings;
    std::function<std::unique_ptr<ant::ByteTransport>(std::unique_ptr<ant::ByteTransport>)>
        wrapLine;
};

// Runs `fota-cli args...`; an upgrade gets --log-dir of the test's folder.
inline CliRun RunCli(std::vector<std::string> args, const CliInput& input = {}) {
    static int runs = 0;
    const fs::path dir = TestFolder() / std::to_string(++runs);
    fs::remove_all(dir);
    fs::create_directories(dir);
    const bool upgrade = args.empty() || args.front() == "upgrade" || args.front().front() == '-';
    if (upgrade) {
        args.push_back("--log-dir");
        args.push_back((dir / "log").string());
    }
    const fs::path settings = dir / "Mova.conf";
    if (input.settings) {
        std::ofstream(settings, std::ios::binary) << *input.settings;
    }
    std::ostringstream out;
    std::ostringstream err;
    std::istringstream in(input.typed.value_or(""));
    CliRun run;
    cli::Io io{out,
               err,
               &in,
               input.typed.has_value(),
               false,
               settings.string(),
               input.wrapLine,
               [&run](const sim::TrainerReport& t) { run.trainer = t; }};
    run.status = cli::Run(args, io);
    run.out = out.str();
    run.err = err.str();
    run.logFile = ReadFile(dir / "log" / "FirmwareUpdate.log");
    fs::remove_all(dir);
    std::error_code ec;
    fs::remove(dir.parent_path(), ec);  // the test's folder, once nothing else is in it
    return run;
}

// The simulated trainer, in virtual time, the agreement accepted.
inline std::vector<std::string> Simulated(std::vector<std::string> more = {}) {
    std::vector<std::string> args = {"--simulate", "--virtual-time", "--accept-agreement",
                                     "--device-number", "1234"};
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

}  // namespace fota::testing
