// Loading and walking the largest stored image, as one upgrade pass does:
// addHex for every line, then extractHex over every block.

#include <benchmark/benchmark.h>

#include <string>
#include <string_view>
#include <vector>

#include "image/ImageStore.h"

namespace {

std::string_view largestImage() {
    std::string_view largest;
    std::int32_t bytes = -1;
    for (const std::string_view name : fota::ImageStore::names()) {
        fota::TFirmware fw;
        fota::ImageStore::load(name, fw);
        if (fw.totalByte() > bytes) {
            bytes = fw.totalByte();
            largest = name;
        }
    }
    return largest;
}

void LoadAndWalkLargestImage(benchmark::State& state) {
    const std::string_view name = largestImage();
    const std::vector<std::string> lines = *fota::ImageStore::lines(name);
    std::int64_t bytes = 0;
    for (auto _ : state) {
        fota::TFirmware fw;
        for (const std::string& line : lines) {
            fw.addHex(line);
        }
        fota::TPacketArray ris;
        fw.first();
        std::int64_t packets = 0;
        for (std::int32_t n = fw.extractHex(8, ris); n != 0; n = fw.extractHex(8, ris)) {
            packets += n;
        }
        benchmark::DoNotOptimize(packets);
        bytes += fw.totalByte();
    }
    state.SetLabel(std::string(name));
    state.SetBytesProcessed(bytes);
}
BENCHMARK(LoadAndWalkLargestImage)->Unit(benchmark::kMicrosecond);

// The same from the stored text, the way the upgrade loads an image.
void LoadByNameAndWalk(benchmark::State& state) {
    const std::string_view name = largestImage();
    for (auto _ : state) {
        fota::TFirmware fw;
        fota::ImageStore::load(name, fw);
        fota::TPacketArray ris;
        fw.first();
        while (fw.extractHex(8, ris) != 0) {
        }
        benchmark::DoNotOptimize(ris.data());
    }
}
BENCHMARK(LoadByNameAndWalk)->Unit(benchmark::kMicrosecond);

}  // namespace
