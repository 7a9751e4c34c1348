#include "image/ImageStore.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>

#include "image/DemoHeader.h"
#include "tools/DemoImages.h"

using namespace fota;

namespace {

namespace fs = std::filesystem;

// The folder the build embedded (FOTA_IMAGES_DIR).
const fs::path kImagesDir = FOTA_TEST_IMAGES_DIR;

std::string readFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TFirmware loadStored(std::string_view name) {
    TFirmware fw;
    EXPECT_TRUE(ImageStore::load(name, fw)) << name;
    return fw;
}

TEST(ImageStore, HoldsExactlyTheImageNames) {
    ASSERT_EQ(ImageStore::names().size(), 29u);
    const std::set<std::string_view> distinct(ImageStore::names().begin(),
                                              ImageStore::names().end());
    EXPECT_EQ(distinct.size(), 29u);
    for (const std::string_view name : ImageStore::names()) {
        EXPECT_TRUE(ImageStore::contains(name)) << name;
    }
}

TEST(ImageStore, UnknownNamesAreAnErrorTheCallerSees) {
    for (const char* name :
         {"", "bootloader64", "BOOTLOADER64 ", "FW_KOV_512", "FW_GILNO_64", "BOOTLOADER64.hex"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(ImageStore::contains(name));
        EXPECT_FALSE(ImageStore::text(name).has_value());
        EXPECT_FALSE(ImageStore::lines(name).has_value());
        EXPECT_FALSE(ImageStore::isDemoImage(name));
        TFirmware fw;
        EXPECT_FALSE(ImageStore::load(name, fw));
        EXPECT_TRUE(fw.buff.empty());
    }
}

// ------------------------------------------------- every stored image

class StoredImage : public testing::TestWithParam<std::string_view> {};

std::string paramName(const testing::TestParamInfo<std::string_view>& info) {
    return std::string(info.param);
}

INSTANTIATE_TEST_SUITE_P(All, StoredImage, testing::ValuesIn(kImageNames), paramName);

unsigned hexByte(const std::string& line, std::size_t at) {
    return static_cast<unsigned>(std::stoul(line.substr(at, 2), nullptr, 16));
}

TEST_P(StoredImage, IsEmbeddedByteForByte) {
    EXPECT_EQ(ImageStore::text(GetParam()),
              readFile(kImagesDir / (std::string(GetParam()) + ".hex")));
}

// The record layout every stored image follows.
TEST_P(StoredImage, FollowsTheRecordLayout) {
    const std::string text = *ImageStore::text(GetParam());
    ASSERT_GE(text.size(), 2u);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    const std::vector<std::string> lines = *ImageStore::lines(GetParam());
    ASSERT_GE(lines.size(), 4u);
    // CR LF breaks only: the line count equals the count of CR LF pairs.
    std::size_t crlf = 0;
    for (std::size_t at = text.find("\r\n"); at != std::string::npos;
         at = text.find("\r\n", at + 2)) {
        ++crlf;
    }
    EXPECT_EQ(crlf, lines.size());

    std::size_t shortRecords = 0;
    for (std::size_t n = 0; n < lines.size(); ++n) {
        const std::string& line = lines[n];
        SCOPED_TRACE("line " + std::to_string(n + 1) + ": " + line);
        ASSERT_GE(line.size(), 11u);
        ASSERT_EQ(line[0], ':');
        ASSERT_TRUE(std::all_of(line.begin() + 1, line.end(), [](unsigned char c) {
            return std::isxdigit(c) && !std::islower(c);
        }));
        const unsigned count = hexByte(line, 1);
        ASSERT_EQ(line.size(), 11u + 2 * count);
        unsigned sum = 0;
        for (std::size_t at = 1; at < line.size(); at += 2) {
            sum += hexByte(line, at);
        }
        EXPECT_EQ(sum & 0xFF, 0u) << "checksum";

        const unsigned type = hexByte(line, 7);
        if (n == 0) {
            EXPECT_EQ(type, 4u);
        } else if (n == lines.size() - 2) {
            EXPECT_EQ(type, 5u);
        } else if (n == lines.size() - 1) {
            EXPECT_EQ(line, ":00000001FF");
        } else {
            ASSERT_EQ(type, 0u);
            EXPECT_TRUE(count == 16 || count == 12 || count == 8 || count == 4);
            shortRecords += count == 16 ? 0 : 1;
        }
    }
    EXPECT_LT(shortRecords * 10, lines.size()) << "mostly 16-byte records";

    // The upper address word goes with the window of the data.
    const unsigned upper = hexByte(lines[0], 9) * 256 + hexByte(lines[0], 11);
    const unsigned firstAddress = hexByte(lines[1], 3) * 256 + hexByte(lines[1], 5);
    EXPECT_EQ(upper, firstAddress == 0x4000 ? 0x0040u : 0x0010u);
}

TEST_P(StoredImage, GivesFullBlocksFromItsBaseAddress) {
    const TFirmware fw = loadStored(GetParam());
    const bool is256 = GetParam().ends_with("_256");
    const std::uint32_t base = is256 ? 0x4000 : 0x1000;
    const std::uint32_t limit = is256 ? 0xF4A0 : 0xB7F8;

    ASSERT_GE(fw.buff.size(), 25u);
    ASSERT_LE(fw.buff.size(), 91u);
    EXPECT_GE(fw.totalByte(), 12336);
    EXPECT_LE(fw.totalByte(), 46240);
    EXPECT_LE(base + static_cast<std::uint32_t>(fw.totalByte()), limit);
    for (std::size_t i = 0; i < fw.buff.size(); ++i) {
        SCOPED_TRACE("block " + std::to_string(i));
        EXPECT_EQ(fw.buff[i].address, base + 512 * i);
        if (i + 1 < fw.buff.size()) {
            EXPECT_EQ(fw.buff[i].dim, 512);
        } else {
            EXPECT_GT(fw.buff[i].dim, 0);
            EXPECT_EQ(fw.buff[i].dim % 4, 0);
        }
    }
}

// binutils reads the same file independently; its bytes must be ours.
TEST_P(StoredImage, LoadsToTheBytesObjcopyReads) {
    const fs::path hex = kImagesDir / (std::string(GetParam()) + ".hex");
    const fs::path bin =
        fs::path(testing::TempDir()) /
        ("fota_objcopy_" + std::to_string(::getpid()) + "_" + std::string(GetParam()) + ".bin");
    const std::string command =
        "objcopy -I ihex -O binary '" + hex.string() + "' '" + bin.string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    const std::string fromObjcopy = readFile(bin);
    fs::remove(bin);

    const std::vector<std::uint8_t> ours = ConcatenatedBytes(loadStored(GetParam()));
    ASSERT_EQ(fromObjcopy.size(), ours.size());
    EXPECT_TRUE(
        std::equal(ours.begin(), ours.end(), fromObjcopy.begin(),
                   [](std::uint8_t a, char b) { return a == static_cast<std::uint8_t>(b); }));
}

// --------------------------------------------------------- the demo set

class DemoImage : public StoredImage {
protected:
    void SetUp() override {
        if (!ImageStore::isDemoSet()) {
            GTEST_SKIP() << "the embedded set is not the demo set";
        }
    }
};

INSTANTIATE_TEST_SUITE_P(All, DemoImage, testing::ValuesIn(kImageNames), paramName);

TEST_P(DemoImage, IsWhatTheGeneratorMakes) {
    const auto& specs = demo::Specs();
    const auto spec = std::find_if(specs.begin(), specs.end(),
                                   [&](const demo::ImageSpec& s) { return s.name == GetParam(); });
    ASSERT_NE(spec, specs.end());
    EXPECT_EQ(ImageStore::text(GetParam()), demo::MakeHex(*spec))
        << "rebuild the committed set: cmake --build <dir> --target demo-images";
}

// What a demo image makes the simulated trainer report must lead the upgrade
// to its end: bootloaders report version 1 with the sub-version of their
// size; firmware reports a finished version of its own controller class and
// the unit type of its model.
TEST_P(DemoImage, CarriesAHeaderThatFitsItsName) {
    ASSERT_TRUE(ImageStore::isDemoImage(GetParam()));
    const std::vector<std::uint8_t> bytes = ConcatenatedBytes(loadStored(GetParam()));
    const auto header = ParseDemoHeader(bytes);
    ASSERT_TRUE(header.has_value());
    EXPECT_EQ(header->name, GetParam());
    EXPECT_TRUE(DemoImageComplete(*header, bytes));

    const std::string name(GetParam());
    if (name.starts_with("BOOTLOADER")) {
        EXPECT_EQ(header->model, "BOOT");
        EXPECT_EQ(header->version, 1);
        EXPECT_EQ(header->subVersion, name == "BOOTLOADER64" ? 85 : 86);
        EXPECT_EQ(header->unitType, kKeepBootloaderUnitType);
        return;
    }
    const auto lastUnderscore = name.rfind('_');
    EXPECT_EQ(header->model, name.substr(3, lastUnderscore - 3));
    EXPECT_EQ(ToString(header->controller), name.substr(lastUnderscore + 1));

    const std::map<std::string, std::set<int>> finishedVersions = {
        {"64", {116, 117, 120, 121, 122, 123}},
        {"128", {114, 118, 124, 127}},
        {"128B", {115, 119, 125, 126, 131, 133}},
        {"256", {129, 130, 132, 134}},
    };
    EXPECT_EQ(finishedVersions.at(std::string(ToString(header->controller))).count(header->version),
              1u)
        << int(header->version);
    EXPECT_NE(header->subVersion, 0);
    const std::map<std::string, int> unitTypes = {{"KOV", 14},   {"LO", 15},   {"PU", 16},
                                                  {"WEK", 17},   {"DUF", 18},  {"TOBE", 19},
                                                  {"GILNO", 20}, {"MUSEK", 20}};
    EXPECT_EQ(header->unitType, unitTypes.at(header->model));
    if (header->model == "WEK") {
        EXPECT_GE(header->version, 118) << "the zero-position step runs from 118";
    }
}

TEST(DemoSet, ImagesHaveDistinctSizesFromSmallestToLargest) {
    if (!ImageStore::isDemoSet()) {
        GTEST_SKIP() << "the embedded set is not the demo set";
    }
    std::set<std::int32_t> sizes;
    for (const std::string_view name : kImageNames) {
        sizes.insert(loadStored(name).totalByte());
    }
    EXPECT_EQ(sizes.size(), kImageNames.size());
    EXPECT_EQ(*sizes.begin(), 12336);
    EXPECT_EQ(*sizes.rbegin(), 46240);
}

}  // namespace
