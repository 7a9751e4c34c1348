#include "protocol/FotaPages.h"

#include <gtest/gtest.h>

using namespace fota;

namespace {

TEST(FotaPages, EncodeToExactBytes) {
    struct Case {
        const char* what;
        Page page;
        Page bytes;
    } cases[] = {
        {"unit type request", UnitTypeRequest{}.encode(), {0x02, 0x10, 0x00, 0x01, 0, 0, 0, 0x02}},
        {"zero position read",
         ZeroPositionReadRequest{}.encode(),
         {0x02, 0x1D, 0, 0x01, 0, 0, 0, 0}},
        {"zero position write 20",
         ZeroPositionWriteRequest{20}.encode(),
         {0x03, 0x1D, 0, 0x01, 0x14, 0, 0, 0}},
        {"version request", VersionRequest{}.encode(), {0x11, 0, 0, 0, 0, 0, 0, 0x11}},
        {"program mode start 70000",
         ProgramModeStart{70000}.encode(),
         {0x10, 0x01, 0x11, 0x70, 0, 0, 0, 0x10}},
        {"program mode start keeps 24 bits",
         ProgramModeStart{0x12345678}.encode(),
         {0x10, 0x34, 0x56, 0x78, 0, 0, 0, 0x10}},
        {"block ack request 0x1A00",
         BlockAckRequest{0x1A00}.encode(),
         {0x13, 0x1A, 0x00, 0, 0, 0, 0, 0x13}},
        {"program mode exit", ProgramModeExit{}.encode(), {0x14, 0x01, 0, 0, 0, 0, 0, 0x14}},
        {"block header 512 @0x1200",
         BlockHeader{512, 0x1200, 0xBEEF}.encode(),
         {0x12, 0x02, 0x00, 0x12, 0x00, 0xBE, 0xEF, 0x12}},
        {"select console", SelectConsolePage{}.encode(), {0x09, 0x01, 0, 0, 0, 0, 0, 0}},
        {"max resistance", MaxResistancePage{}.encode(), {0x01, 0xFF, 0, 0, 0, 0, 0, 0}},
        {"version reply", VersionReply{5, 0x56, 0x0E}.encode(), {0x11, 5, 0x56, 0x0E, 0, 0, 0, 0}},
        {"block ack", BlockAck{0x1A00}.encode(), {0x13, 0, 0x1A, 0x00, 0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.page, c.bytes);
    }
}

TEST(FotaPages, DecodeReplies) {
    const auto v = VersionReply::decode({0x11, 0x76, 0x00, 0x11, 9, 9, 9, 9});
    ASSERT_TRUE(v);
    EXPECT_EQ(v->version, 118);
    EXPECT_EQ(v->subVersion, 0);
    EXPECT_EQ(v->unitType, 0x11);

    // Any page whose first byte is 0x13 acknowledges the block; the address
    // sits one byte later than in the request.
    const auto ack = BlockAck::decode({0x13, 0xAA, 0x1A, 0x00, 1, 2, 3, 4});
    ASSERT_TRUE(ack);
    EXPECT_EQ(ack->blockAddress, 0x1A00);

    EXPECT_EQ(ReadReply::decode({0x02, 0x0A, 0, 0, 0, 0, 0, 0})->value, 0x0A);
    EXPECT_EQ(CommandAck::decode({0xFF, 0x03, 0, 0, 0, 0, 0, 0})->command, 0x03);
    EXPECT_FALSE(VersionReply::decode({0x12, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_FALSE(ReadReply::decode({0xFF, 0x02, 0, 0, 0, 0, 0, 0}));
}

TEST(FotaPages, RequestsRoundTripForTheTrainerSide) {
    EXPECT_TRUE(UnitTypeRequest::decode(UnitTypeRequest{}.encode()));
    EXPECT_FALSE(UnitTypeRequest::decode(ZeroPositionReadRequest{}.encode()));
    EXPECT_TRUE(ZeroPositionReadRequest::decode(ZeroPositionReadRequest{}.encode()));
    EXPECT_EQ(ZeroPositionWriteRequest::decode(ZeroPositionWriteRequest{6}.encode())->zeroPosition,
              6);
    EXPECT_EQ(ProgramModeStart::decode(ProgramModeStart{46240}.encode())->imageSize, 46240u);
    EXPECT_EQ(BlockAckRequest::decode(BlockAckRequest{0x4E00}.encode())->blockAddress, 0x4E00);
    EXPECT_EQ(BlockHeader::decode(BlockHeader{260, 0xB600, 0x1234}.encode())->size, 260);
    EXPECT_TRUE(ProgramModeExit::decode(ProgramModeExit{}.encode()));
    EXPECT_TRUE(VersionRequest::decode(VersionRequest{}.encode()));
}

}  // namespace
