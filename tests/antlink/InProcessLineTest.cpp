#include "antlink/InProcessTransport.h"

#include <gtest/gtest.h>

#include <array>

using namespace fota;
using namespace fota::ant;

namespace {

std::array<std::uint8_t, 4> kBytes = {1, 2, 3, 4};

TEST(InProcessLine, BytesCrossBothWaysAndAReadTimesOutInClockTime) {
    VirtualClock clock;
    InProcessLine line(clock);
    auto program = line.programEnd();
    auto stick = line.stickEnd();
    ASSERT_TRUE(program->write(kBytes));
    std::array<std::uint8_t, 8> buf{};
    EXPECT_EQ(stick->read(buf, {}, kForever), 4);
    EXPECT_EQ(buf[3], 4);
    EXPECT_EQ(program->read(buf, {}, std::chrono::seconds(2)), 0);  // nothing came
    EXPECT_EQ(clock.now(), std::chrono::seconds(2));
    EXPECT_TRUE(program->isSimulated());
}

TEST(InProcessLine, AnOldProgramEndClosingLeavesTheNewOneWorking) {
    VirtualClock clock;
    InProcessLine line(clock);
    auto stick = line.stickEnd();
    auto first = line.programEnd();
    auto second = line.programEnd();
    first.reset();  // closes the old end
    ASSERT_TRUE(second->write(kBytes));
    std::array<std::uint8_t, 8> buf{};
    EXPECT_EQ(stick->read(buf, {}, kForever), 4);
}

TEST(InProcessLine, UnplugFailsBothEnds) {
    VirtualClock clock;
    InProcessLine line(clock);
    auto program = line.programEnd();
    auto stick = line.stickEnd();
    line.unplug();
    std::array<std::uint8_t, 8> buf{};
    EXPECT_EQ(program->read(buf, {}, kForever), -1);
    EXPECT_EQ(stick->read(buf, {}, kForever), -1);
    EXPECT_FALSE(program->write(kBytes));
}

}  // namespace
