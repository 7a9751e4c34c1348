#include "platform/Convert.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

using namespace fota;

namespace {

struct Valid {
    const char* text;
    std::int32_t value;
};

TEST(StrToInt, AcceptsDecimalAndPrefixedHexadecimal) {
    const Valid cases[] = {
        {"0", 0},
        {"42", 42},
        {"007", 7},
        {"+5", 5},
        {"-5", -5},
        {"-0", 0},
        {"2147483647", INT_MAX},
        {"-2147483648", INT_MIN},
        {"  12", 12},  // leading spaces are skipped
        {" -3", -3},
        {"$1F", 31},
        {"$1f", 31},
        {"x10", 16},
        {"X10", 16},
        {"0x10", 16},
        {"0XfF", 255},
        {"-$10", -16},
        {"+0x7FFFFFFF", INT_MAX},
        {"$80000000", INT_MIN},  // eight hexadecimal digits: the 32-bit pattern
        {"$FFFFFFFF", -1},
        {"$00000001", 1},
        {"0", 0},
        {"$0", 0},
    };
    for (const Valid& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(StrToInt(c.text), c.value);
        std::int32_t value = 12345;
        EXPECT_TRUE(TryStrToInt(c.text, value));
        EXPECT_EQ(value, c.value);
    }
}

TEST(StrToInt, RejectsEverythingElseWithTheConversionError) {
    const char* cases[] = {
        "",
        " ",
        "+",
        "-",
        "$",
        "x",
        "0x",
        "-$",
        "12 ",  // trailing space
        "1 2",  // inner space
        "\t1",  // only spaces are skipped
        "1\n",
        "- 1",  // nothing between sign and digits
        "+-1",
        "$+1",  // sign after the prefix
        "$-1",
        "2147483648",  // one past the signed range
        "-2147483649",
        "99999999999999999999",
        "$100000000",  // nine hexadecimal digits
        "$000000001",  // nine, even with leading zeros
        "12a",
        "a12",
        "$G",
        "0x1G",
        "00x1",
        "1.5",
        "1e3",
        "$ 1",
    };
    for (const char* text : cases) {
        SCOPED_TRACE(std::string("'") + text + "'");
        try {
            StrToInt(text);
            ADD_FAILURE() << "no conversion error";
        } catch (const ConvertError& e) {
            EXPECT_EQ(std::string(e.what()),
                      std::string("'") + text + "' is not a valid integer value");
            EXPECT_EQ(e.text(), text);
        }
        std::int32_t value = 77;
        EXPECT_FALSE(TryStrToInt(text, value));
        EXPECT_EQ(value, 77);
    }
}

TEST(StrToInt, KeepsEmbeddedNulInTheErrorText) {
    const std::string text(
        "1\0"
        "2",
        3);
    try {
        StrToInt(text);
        FAIL() << "no conversion error";
    } catch (const ConvertError& e) {
        EXPECT_EQ(e.text(), text);
    }
}

}  // namespace
