#include "image/DemoHeader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace fota;

namespace {

class DemoHeaderTest : public testing::Test {
protected:
    DemoHeaderTest() {
        header.name = "FW_WEK_128B";
        header.model = "WEK";
        header.controller = ControllerClass::C128B;
        header.version = 119;
        header.subVersion = 4;
        header.unitType = 17;
        image.assign(300, 0);
        for (std::size_t i = kDemoHeaderSize; i < image.size(); ++i) {
            image[i] = static_cast<std::uint8_t>(i * 7);
        }
        header.imageSize = static_cast<std::uint32_t>(image.size());
        header.payloadCrc = Crc32(std::span(image).subspan(kDemoHeaderSize));
        const auto encoded = EncodeDemoHeader(header);
        std::copy(encoded.begin(), encoded.end(), image.begin());
    }

    DemoHeader header;
    std::vector<std::uint8_t> image;
};

TEST_F(DemoHeaderTest, ParsesWhatWasEncoded) {
    const auto parsed = ParseDemoHeader(image);
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(*parsed, header);
    EXPECT_TRUE(DemoImageComplete(*parsed, image));
}

TEST_F(DemoHeaderTest, RejectsBytesThatAreNotADemoHeader) {
    struct Case {
        const char* what;
        std::size_t offset;
        std::uint8_t value;
        std::size_t count = 1;
    };
    const Case cases[] = {
        {"magic", 0, 'f'},
        {"layout version", 8, 2},
        {"header size", 9, 64},
        {"name not terminated", 10, 'N', 16},
        {"name with a control character", 11, 0x07},
        {"bytes after the name's end", 24, 'Z'},
        {"model not terminated", 26, 'M', 8},
        {"controller class", 34, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::uint8_t> bad = image;
        std::fill_n(bad.begin() + static_cast<std::ptrdiff_t>(c.offset), c.count, c.value);
        EXPECT_FALSE(ParseDemoHeader(bad).has_value());
    }
    EXPECT_FALSE(ParseDemoHeader(std::span(image).first(kDemoHeaderSize - 1)).has_value());
    EXPECT_FALSE(ParseDemoHeader({}).has_value());
}

TEST_F(DemoHeaderTest, TellsAWholeImageFromAPartialOrChangedOne) {
    std::vector<std::uint8_t> shorter(image.begin(), image.end() - 4);
    std::vector<std::uint8_t> longer = image;
    longer.push_back(0);
    std::vector<std::uint8_t> changed = image;
    changed[200] ^= 0x01;
    EXPECT_FALSE(DemoImageComplete(header, shorter));
    EXPECT_FALSE(DemoImageComplete(header, longer));
    EXPECT_FALSE(DemoImageComplete(header, changed));
    EXPECT_FALSE(DemoImageComplete(header, std::span(image).first(10)));
}

TEST(Crc32, MatchesTheStandardCheckValue) {
    const std::string text = "123456789";
    EXPECT_EQ(Crc32(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size())),
              0xCBF43926u);
    EXPECT_EQ(Crc32({}), 0u);
}

TEST(BootloaderUnitType, MapsFirmwareUnitTypesToTheirBootloaderUnitType) {
    const std::pair<int, int> cases[] = {{14, 9},  {16, 11}, {15, 12}, {17, 13}, {9, 9},   {13, 13},
                                         {18, 10}, {19, 10}, {20, 10}, {0, 10},  {255, 10}};
    for (const auto& [from, to] : cases) {
        SCOPED_TRACE(from);
        EXPECT_EQ(BootloaderUnitType(static_cast<std::uint8_t>(from)), to);
    }
}

}  // namespace
