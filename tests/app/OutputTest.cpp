// What fota-cli prints: JSON strings, terminal-safe text, times, and the
// progress estimate.

#include <gtest/gtest.h>

#include <sstream>

#include "app/Reporter.h"
#include "app/Text.h"
#include "tests/app/JsonCheck.h"

using namespace fota;
using namespace fota::cli;

namespace {

TEST(JsonString, EscapesWhatJsonNeedsAndKeepsItValidUtf8) {
    const struct {
        std::string in;
        std::string out;
    } cases[] = {
        {"plain", "\"plain\""},
        {"q\"b\\s/", "\"q\\\"b\\\\s/\""},
        {"\n\r\t\b\f", "\"\\n\\r\\t\\b\\f\""},
        {std::string("\x01\x1b\x7f", 3), "\"\\u0001\\u001B\\u007F\""},
        {std::string("nul\0x", 5), "\"nul\\u0000x\""},
        {"\u201CI agree\u201D", "\"\u201CI agree\u201D\""},
        {"\xff", "\"\\ufffd\""},                        // not UTF-8
        {"\xc3", "\"\\ufffd\""},                        // cut short
        {"\xc0\xaf", "\"\\ufffd\\ufffd\""},             // overlong
        {"\xed\xa0\x80", "\"\\ufffd\\ufffd\\ufffd\""},  // a surrogate
        {"\xf0\x9f\x98\x80", "\"\xf0\x9f\x98\x80\""},   // beyond the BMP
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.out);
        EXPECT_EQ(JsonString(c.in), c.out);
        EXPECT_TRUE(fota::testing::JsonLine::Parse("{\"k\":" + JsonString(c.in) + "}"));
    }
}

TEST(TerminalText, NoControlCharacterReachesTheTerminal) {
    const struct {
        std::string in;
        std::string out;
    } cases[] = {
        {"Status: ok", "Status: ok"},
        {"\x1b[2J\x1b]0;title\x07", "\\x1B[2J\\x1B]0;title\\x07"},
        {"a\rb\nc", "a\\x0Db\\x0Ac"},
        {"\xc2\x9b"
         "31m",
         "\\xC2\\x9B31m"},  // C1 control (CSI)
        {"\u201CI agree\u201D", "\u201CI agree\u201D"},
        {"\xff\xfe", "\\xFF\\xFE"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TerminalText(c.in), c.out);
    }
}

TEST(ClockText, MinutesSecondsAndHours) {
    EXPECT_EQ(Clock(0), "0:00");
    EXPECT_EQ(Clock(65.4), "1:05");
    EXPECT_EQ(Clock(3723), "1:02:03");
    EXPECT_EQ(Clock(-1), "--:--");
    EXPECT_EQ(Clock(1.0 / 0.0), "--:--");
}

TEST(ReporterProgress, EstimatesTheRestFromThePaceSoFar) {
    std::ostringstream out;
    std::ostringstream err;
    Reporter report(Io{out, err}, false, 0);
    double t = 0;
    report.setTime([&t] { return t; });
    report.progress(20, 1);  // 5 % : the first tenth line, nothing to estimate from yet
    t = 10;
    report.progress(20, 3);  // 15 %: 2 blocks in 10 s, 17 to go
    t = 15;
    report.progress(20, 3);  // the same block again (a retry): no line
    t = 100;
    report.progress(20, 20);
    t = 101;
    report.progress(10, 1);  // a new pass starts its own bar and clock
    EXPECT_EQ(out.str(),
              "Progress: block 1 of 20 (5%), 0:00 elapsed\n"
              "Progress: block 3 of 20 (15%), 0:10 elapsed, about 1:25 left\n"
              "Progress: block 20 of 20 (100%), 1:40 elapsed\n"
              "Progress: block 1 of 10 (10%), 0:00 elapsed\n");
}

TEST(ReporterProgress, JsonCarriesBlocksPercentAndTimes) {
    std::ostringstream out;
    std::ostringstream err;
    Reporter report(Io{out, err}, true, 0);
    double t = 2;
    report.setTime([&t] { return t; });
    report.progress(4, 1);
    t = 4;
    report.progress(4, 2);
    std::istringstream lines(out.str());
    std::string first;
    std::string second;
    std::getline(lines, first);
    std::getline(lines, second);
    const auto a = fota::testing::JsonLine::Parse(first);
    const auto b = fota::testing::JsonLine::Parse(second);
    ASSERT_TRUE(a && b) << out.str();
    EXPECT_EQ(a->at("remaining_s"), "null");
    EXPECT_EQ(b->at("block"), "2");
    EXPECT_EQ(b->at("blocks"), "4");
    EXPECT_EQ(b->at("percent"), "50");
    EXPECT_EQ(b->at("elapsed_s"), "2.000");
    EXPECT_EQ(b->at("remaining_s"), "4.000");
}

}  // namespace
