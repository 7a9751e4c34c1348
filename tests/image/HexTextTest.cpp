#include "image/HexText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace fota;

namespace {

TEST(SplitHexLines, EndsLinesAtCrLfLoneCrAndLoneLf) {
    struct Case {
        std::string text;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"", {}},
        {"a", {"a"}},
        {"a\r\n", {"a"}},
        {"a\r\nb", {"a", "b"}},
        {"a\r\nb\r\n", {"a", "b"}},
        {"a\rb\nc\r\nd", {"a", "b", "c", "d"}},
        {"a\n\nb\n", {"a", "", "b"}},
        {"a\r\n\r\n", {"a", ""}},
        {"\n", {""}},
        {"a\n\r", {"a", ""}},  // LF then CR: two breaks
        {"\r\r\n", {"", ""}},
        {std::string("a\0b\r\n", 5), {std::string("a\0b", 3)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.text));
        EXPECT_EQ(SplitHexLines(c.text), c.lines);
    }
}

TEST(LoadHexText, NamesTheRejectedLineAndKeepsTheLinesBeforeIt) {
    const std::string text =
        ":020000040010EA\r\n"
        ":04100000DEADBEEFB4\r\n"
        ":04100400AABBXXDD00\r\n"
        ":04100800DEADBEEFB0\r\n";
    TFirmware fw;
    try {
        LoadHexText(text, fw);
        FAIL() << "no error";
    } catch (const HexLineError& e) {
        EXPECT_EQ(e.line(), 3u);
        EXPECT_STREQ(e.what(), "'$XX' is not a valid integer value");
    }
    ASSERT_EQ(fw.buff.size(), 1u);
    EXPECT_EQ(fw.buff[0].dim, 6);
}

TEST(LoadHexText, AppendsToWhatTheImageHolds) {
    TFirmware fw;
    LoadHexText(":04100000DEADBEEFB4\n", fw);
    LoadHexText(":04100000DEADBEEFB4\n", fw);
    ASSERT_EQ(fw.buff.size(), 2u);
    EXPECT_EQ(ConcatenatedBytes(fw),
              (std::vector<std::uint8_t>{0xDE, 0xAD, 0xBE, 0xEF, 0xDE, 0xAD, 0xBE, 0xEF}));
}

}  // namespace
