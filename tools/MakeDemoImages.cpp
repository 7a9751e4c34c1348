// fota-mkdemo: writes the demo image set into a folder as NAME.hex files.
//
//   fota-mkdemo DIR        (the build's target demo-images runs it on images/)
//
// The output depends on nothing but this program, so running it again gives
// the same files byte for byte.

#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>

#include "image/HexText.h"
#include "tools/DemoImages.h"

namespace {

// The generated text must load back into the bytes it was made from, in the
// block shape the loader expects.
std::string check(const fota::demo::ImageSpec& spec, const std::string& hex) {
    fota::TFirmware fw;
    fota::LoadHexText(hex, fw);
    if (fota::ConcatenatedBytes(fw) != fota::demo::MakeBytes(spec)) {
        return "reloaded bytes differ";
    }
    const std::size_t blocks = fw.buff.size();
    if (blocks < 25 || blocks > 91 || spec.size < 12336 || spec.size > 46240 ||
        spec.size % 4 != 0) {
        return "size out of range";
    }
    if (fota::demo::BaseAddress(spec) + spec.size > fota::demo::EndLimit(spec)) {
        return "data passes the end of its address window";
    }
    return {};
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fota-mkdemo DIR\n");
        return 2;
    }
    const std::filesystem::path dir = argv[1];
    try {
        std::filesystem::create_directories(dir);
        for (const fota::demo::ImageSpec& spec : fota::demo::Specs()) {
            const std::string hex = fota::demo::MakeHex(spec);
            if (const std::string problem = check(spec, hex); !problem.empty()) {
                std::fprintf(stderr, "fota-mkdemo: %s: %s\n", std::string(spec.name).c_str(),
                             problem.c_str());
                return 1;
            }
            const std::filesystem::path file = dir / (std::string(spec.name) + ".hex");
            std::ofstream out(file, std::ios::binary | std::ios::trunc);
            out.write(hex.data(), static_cast<std::streamsize>(hex.size()));
            if (!out.flush()) {
                std::fprintf(stderr, "fota-mkdemo: cannot write %s\n", file.string().c_str());
                return 1;
            }
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "fota-mkdemo: %s\n", e.what());
        return 1;
    }
    return 0;
}
