// The line recorder and the replay of its files, on a virtual clock.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "antlink/InProcessTransport.h"
#include "antlink/RecordingTransport.h"
#include "antlink/ReplayTransport.h"

using namespace fota;
using namespace fota::ant;
using namespace std::chrono_literals;

namespace {

using Bytes = std::vector<std::uint8_t>;

std::string ReadAll(const std::filesystem::path& p) {
    std::ifstream in(p);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(LineRecorder, WritesEachDirectionTimeStampedInTheDocumentedFormat) {
    VirtualClock clock;
    InProcessLine line(clock);
    auto stick = line.stickEnd();
    const auto file = std::filesystem::temp_directory_path() / "fota-recorder-test.rec";
    auto opener = recordingOpener([&](UCHAR, ULONG) { return OpenedTransport(line.programEnd()); },
                                  file.string(), clock);
    auto program = opener(0, 57600).transport;
    ASSERT_TRUE(program);
    EXPECT_TRUE(program->isSimulated());

    clock.sleepFor(1500ms);
    const Bytes reset = {0xA4, 0x01, 0x4A, 0x00, 0xEF};
    ASSERT_TRUE(program->write(reset));
    clock.sleepFor(2ms);
    ASSERT_TRUE(stick->write(Bytes{0xA4, 0x01, 0x6F, 0x20, 0xEA}));
    std::uint8_t buffer[16];
    ASSERT_EQ(program->read(buffer, {}), 5);
    line.unplug();
    EXPECT_EQ(program->read(buffer, {}), -1);
    program->close();

    const std::string text = ReadAll(file);
    std::filesystem::remove(file);
    const std::string body = text.substr(text.find("open "));
    EXPECT_EQ(text.rfind("# fota line recording 1\n# started ", 0), 0u) << text;
    EXPECT_EQ(body,
              "open 0.000000000 simulated simulated stick\n"
              "> 1.500000000 A4 01 4A 00 EF\n"
              "< 1.502000000 A4 01 6F 20 EA\n"
              "lost 1.502000000 read\n"
              "close 1.502000000\n");
}

TEST(LineRecorder, AFileThatCannotBeWrittenFailsTheOpenWithAMessage) {
    VirtualClock clock;
    bool innerCalled = false;
    auto opener = recordingOpener(
        [&](UCHAR, ULONG) {
            innerCalled = true;
            return OpenedTransport{};
        },
        "/nonexistent-folder/x.rec", clock);
    const OpenedTransport opened = opener(0, 57600);
    EXPECT_FALSE(opened.transport);
    EXPECT_NE(opened.error.find("/nonexistent-folder/x.rec"), std::string::npos);
    EXPECT_FALSE(innerCalled);
}

TEST(Recording, RejectsMalformedFilesNamingTheLine) {
    struct Case {
        const char* text;
        const char* error;
    };
    const Case cases[] = {
        {"", "no \"open\""},
        {"# only a comment\n", "no \"open\""},
        {"> 0.1 A4\n", "line 1: \">\" before the first \"open\""},
        {"open 0 simulated x\n> 1.5 A4 0\n", "line 2: \"0\" is not a byte"},
        {"open 0 simulated x\n< 1.5 ZZ\n", "line 2: \"ZZ\" is not a byte"},
        {"open 0 simulated x\n< 1.5\n", "line 2: no bytes"},
        {"open -1 simulated x\n", "line 1: expected a time"},
        {"open 1e3 simulated x\n", "line 1: expected a time"},
        {"open 99999999999 simulated x\n", "line 1: expected a time"},
        {"open 9913862300 simulated x\n", "line 1: expected a time"},
        {"open 0.0000000001 simulated x\n", "line 1: expected a time"},
        {"open 0 maybe x\n", "line 1: expected \"simulated\" or \"real\""},
        {"open 0 real x\nlost 2 sideways\n", "line 2: expected \"read\" or \"write\""},
        {"open 0 real x\nwhat 2\n", "line 2: unknown record"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::istringstream in(c.text);
        Recording r;
        std::string error;
        EXPECT_FALSE(Recording::parse(in, r, error));
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
    }
}

// A replay of `text` opened at virtual time `openAt`.
struct Replayed {
    explicit Replayed(const std::string& text, Duration openAt = 0s) {
        std::istringstream in(text);
        EXPECT_TRUE(replay.load(in)) << replay.error();
        clock.sleepFor(openAt);
        open = replay.opener(clock);
        line = open(0, 57600).transport;
    }
    long read(Duration deadline = kForever) { return line->read(buffer, {}, deadline); }
    Bytes got(long n) const { return Bytes(buffer, buffer + n); }

    VirtualClock clock;
    Replay replay;
    TransportOpener open;
    std::unique_ptr<ByteTransport> line;
    std::uint8_t buffer[64]{};
};

const char* const kSession =
    "open 10.0 real /dev/ttyUSB0\n"
    "> 10.0 A4 01 4A 00 EF\n"
    "< 10.5 A4 01 6F 20 EA\n"
    "> 11.0 A4 02 4D 00 54 BF\n"
    "< 11.25 01 02\n"
    "close 12.0\n";

TEST(Replay, StickBytesComeAtTheirTimeAndOnlyAfterWhatTheProgramMustSayFirst) {
    Replayed r(kSession, 3s);  // opened at 3 s: recorded times count from the open
    EXPECT_FALSE(r.line->isSimulated());
    EXPECT_EQ(r.line->description(), "replay of /dev/ttyUSB0");
    // Nothing before the program has written the reset.
    EXPECT_EQ(r.read(3s + 200ms), 0);
    ASSERT_TRUE(r.line->write(Bytes{0xA4, 0x01, 0x4A, 0x00, 0xEF}));
    ASSERT_EQ(r.read(), 5);
    EXPECT_EQ(r.got(5), (Bytes{0xA4, 0x01, 0x6F, 0x20, 0xEA}));
    EXPECT_EQ(r.clock.now(), 3s + 500ms);
    // Written late (at 5 s, the answer was due at 4.25 s): the answer follows at
    // once. A program that writes in pieces is fine: the bytes are compared as a stream.
    r.clock.sleepFor(1500ms);
    ASSERT_TRUE(r.line->write(Bytes{0xA4, 0x02}));
    EXPECT_EQ(r.read(6s), 0);
    ASSERT_TRUE(r.line->write(Bytes{0x4D, 0x00, 0x54, 0xBF}));
    ASSERT_EQ(r.read(), 2);
    EXPECT_EQ(r.clock.now(), 6s);
    EXPECT_EQ(r.read(r.clock.now() + 1s), 0);  // the recording has nothing more
    EXPECT_EQ(r.replay.verdict(), "");
}

TEST(Replay, TheFirstDifferenceFailsTheLineAndIsReportedWithItsLine) {
    Replayed r(kSession);
    ASSERT_TRUE(r.line->write(Bytes{0xA4, 0x01, 0x4A, 0x00, 0xEF}));
    ASSERT_EQ(r.read(), 5);
    EXPECT_FALSE(r.line->write(Bytes{0xA4, 0x02, 0x4D, 0x00, 0x57, 0xBC}));
    EXPECT_EQ(r.replay.verdict(),
              "opening 1, program byte 9 at 0.500 s: the recording (line 4) has 54 BF, the "
              "program wrote 57 BC");
    EXPECT_EQ(r.read(), -1);
    EXPECT_FALSE(r.line->write(Bytes{0xA4}));
}

TEST(Replay, VerdictNamesWhatTheProgramLeftUnsaidOrSaidTooMuch) {
    {
        Replayed r(kSession);
        ASSERT_TRUE(r.line->write(Bytes{0xA4, 0x01, 0x4A, 0x00, 0xEF}));
        EXPECT_EQ(r.replay.verdict(),
                  "opening 1: the program wrote 5 of the 11 bytes recorded; the next (line 4) "
                  "would be A4 02 4D 00 54 BF");
    }
    {
        Replayed r("open 0 real x\n> 0 A4\n");
        EXPECT_FALSE(r.line->write(Bytes{0xA4, 0x00}));
        EXPECT_EQ(r.replay.verdict(),
                  "opening 1, program byte 1 at 0.000 s: the program wrote more than the "
                  "recording holds (1 bytes); it wrote 00");
    }
    {
        Replayed r("open 0 real x\n> 0 A4\n");
        ASSERT_TRUE(r.line->write(Bytes{0xA4}));
        EXPECT_FALSE(r.open(0, 57600).transport);
        EXPECT_NE(r.replay.verdict().find("holds 1 openings"), std::string::npos)
            << r.replay.verdict();
    }
}

TEST(Replay, ARecordedLossFailsTheLineAtItsTime) {
    Replayed r("open 0 real x\n< 1.0 A4\nlost 4.0 read\n");
    ASSERT_EQ(r.read(), 1);
    EXPECT_EQ(r.read(), -1);
    EXPECT_EQ(r.clock.now(), 4s);
    EXPECT_EQ(r.replay.verdict(), "");
}

}  // namespace
