#include "app/Cli.h"

#include <array>
#include <cstdio>
#include <ostream>

#include "app/ImageCommand.h"

namespace fota::cli {

namespace {

int runHelp(Args args, Io io);

constexpr std::array kCommands = {
    Command{"image", "image list\nimage dump NAME|FILE.hex",
            "list the embedded firmware images, or dump one (or a HEX file) block by block",
            RunImageCommand},
    Command{"help", "help", "show this help", runHelp},
};

void printUsage(std::ostream& os) {
    os << "usage: fota-cli COMMAND [ARGS]\n\ncommands:\n";
    for (const Command& c : kCommands) {
        os << "  " << c.name << "  " << c.summary << "\n";
        std::string_view forms = c.usage;
        while (!forms.empty()) {
            const auto end = forms.find('\n');
            os << "      fota-cli " << forms.substr(0, end) << "\n";
            forms = end == std::string_view::npos ? std::string_view{} : forms.substr(end + 1);
        }
    }
}

int runHelp(Args, Io io) {
    printUsage(io.out);
    return kExitOk;
}

}  // namespace

int Run(Args args, Io io) {
    if (args.empty()) {
        printUsage(io.err);
        return kExitUsage;
    }
    const std::string& name = args.front();
    if (name == "-h" || name == "--help") {
        return runHelp(args.subspan(1), io);
    }
    for (const Command& c : kCommands) {
        if (name == c.name) {
            return c.run(args.subspan(1), io);
        }
    }
    io.err << "fota-cli: unknown command '" << Printable(name) << "'\n";
    printUsage(io.err);
    return kExitUsage;
}

std::string Printable(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c >= 0x20 && c < 0x7F) {
            out.push_back(ch);
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned>(c));
            out += escape;
        }
    }
    return out;
}

}  // namespace fota::cli
