// fota-cli: the terminal program. The subcommands live in app/Cli.cpp's table.
//
// Ctrl+C and SIGTERM are taken by a thread of their own: during an upgrade
// they stop it the orderly way (worker stopped, stick reset and closed) and
// the program ends with status 130; at any other moment, or when pressed a
// second time, the program ends at once. A closed standard output does not
// end the program.

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "app/Cli.h"
#include "app/UpgradeCommand.h"

namespace {

std::atomic<bool> gDone{false};

void watchSignals(sigset_t signals) {
    const timespec tick{0, 100'000'000};
    while (!gDone.load()) {
        siginfo_t info{};
        const int s = sigtimedwait(&signals, &info, &tick);
        if (s != SIGINT && s != SIGTERM) {
            continue;
        }
        if (!fota::cli::InterruptUpgrade(s)) {
            static const char kLine[] = "\nfota-cli: interrupted\n";
            (void)!::write(STDERR_FILENO, kLine, sizeof kLine - 1);
            std::_Exit(fota::cli::kExitInterrupted);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);

    // Output to a reader that went away (fota-cli ... | head) must not end an
    // upgrade half-way: the writes fail quietly instead.
    ::signal(SIGPIPE, SIG_IGN);

    // The event log's time stamps in the user's date and time formats. Numbers
    // stay in the C locale: the JSON output and the terminal's figures must not
    // change with the user's decimal separator.
    std::setlocale(LC_TIME, "");

    // Blocked here, before any thread starts, so that only the watcher takes them.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::thread watcher(watchSignals, signals);

    int status = fota::cli::kExitFailure;
    try {
        fota::cli::Io io{std::cout,
                         std::cerr,
                         &std::cin,
                         ::isatty(STDIN_FILENO) == 1,
                         ::isatty(STDOUT_FILENO) == 1,
                         std::nullopt,
                         nullptr,
                         nullptr};
        status = fota::cli::Run(args, io);
    } catch (const std::exception& e) {
        std::cerr << "fota-cli: " << fota::cli::Printable(e.what()) << "\n";
        status = fota::cli::kExitFailure;
    }
    std::cout.flush();
    gDone = true;
    watcher.join();
    return status;
}
