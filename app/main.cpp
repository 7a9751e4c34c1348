// fota-cli: the terminal program. The subcommands live in app/Cli.cpp's table.

#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "app/Cli.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    try {
        return fota::cli::Run(args, {std::cout, std::cerr});
    } catch (const std::exception& e) {
        std::cerr << "fota-cli: " << fota::cli::Printable(e.what()) << "\n";
        return fota::cli::kExitFailure;
    }
}
