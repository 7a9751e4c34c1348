#include "app/ImageCommand.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <system_error>

#include "image/HexText.h"
#include "image/ImageStore.h"

namespace fota::cli {

namespace {

// Far above any image a trainer holds (a 64-KB window is under 200 KB of
// HEX text); keeps a wrong file from filling the memory.
constexpr std::uintmax_t kMaxHexFileBytes = 16u * 1024 * 1024;

constexpr std::string_view kUsage =
    "usage: fota-cli image list\n"
    "       fota-cli image dump NAME|FILE.hex\n";

int list(Io io) {
    io.out << "Embedded images: " << ImageStore::names().size()
           << (ImageStore::isDemoSet() ? " (demo set: never sent to a real trainer)" : "") << "\n";
    char line[96];
    std::snprintf(line, sizeof line, "%-16s %8s %7s\n", "NAME", "BYTES", "BLOCKS");
    io.out << line;
    int status = kExitOk;
    for (const std::string_view name : ImageStore::names()) {
        TFirmware fw;
        try {
            ImageStore::load(name, fw);
        } catch (const HexLineError& e) {
            io.err << "fota-cli: image " << name << ", line " << e.line() << ": "
                   << Printable(e.what()) << "\n";
            status = kExitFailure;
            continue;
        }
        std::snprintf(line, sizeof line, "%-16.*s %8d %7u%s\n", static_cast<int>(name.size()),
                      name.data(), fw.totalByte(), static_cast<unsigned>(fw.totBurst()),
                      ImageStore::isDemoImage(name) ? "  demo" : "");
        io.out << line;
    }
    return status;
}

bool readHexFile(const std::string& path, std::string& text, Io io) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        io.err << "fota-cli: " << Printable(path) << ": no such image name or HEX file\n"
               << "(fota-cli image list shows the image names)\n";
        return false;
    }
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec || size > kMaxHexFileBytes) {
        io.err << "fota-cli: " << Printable(path) << ": "
               << (ec ? ec.message() : "too large for an Intel HEX image") << "\n";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (!in && !in.eof()) {
        io.err << "fota-cli: " << Printable(path) << ": cannot read the file\n";
        return false;
    }
    return true;
}

int dump(const std::string& what, Io io) {
    std::string text;
    std::string source;
    if (const auto stored = ImageStore::text(what)) {
        text = *stored;
        source = "image " + what;
    } else if (readHexFile(what, text, io)) {
        source = Printable(what);
    } else {
        return kExitFailure;
    }

    TFirmware fw;
    try {
        LoadHexText(text, fw);
    } catch (const HexLineError& e) {
        io.err << "fota-cli: " << source << ":" << e.line() << ": " << Printable(e.what()) << "\n";
        return kExitFailure;
    }
    if (fw.buff.empty()) {
        io.err << "fota-cli: " << source << ": no data records, the image holds no block\n";
        return kExitFailure;
    }
    std::vector<std::string> lines;
    fw.printHex(lines);
    for (const std::string& l : lines) {
        io.out << l << "\n";
    }
    return kExitOk;
}

}  // namespace

int RunImageCommand(Args args, Io io) {
    if (args.size() == 1 && args[0] == "list") {
        return list(io);
    }
    if (args.size() == 2 && args[0] == "dump") {
        return dump(args[1], io);
    }
    io.err << kUsage;
    return kExitUsage;
}

}  // namespace fota::cli
