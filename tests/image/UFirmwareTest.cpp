#include "image/UFirmware.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

using namespace fota;

namespace {

// An Intel HEX record line with a correct checksum.
std::string record(std::uint16_t address, const std::vector<std::uint8_t>& data,
                   std::uint8_t type = 0) {
    char text[8];
    std::string line = ":";
    auto put = [&](unsigned v) {
        std::snprintf(text, sizeof text, "%02X", v & 0xFF);
        line += text;
    };
    unsigned sum = static_cast<unsigned>(data.size()) + (address >> 8) + (address & 0xFF) + type;
    put(static_cast<unsigned>(data.size()));
    put(address >> 8);
    put(address & 0xFF);
    put(type);
    for (const std::uint8_t b : data) {
        put(b);
        sum += b;
    }
    put(0x100 - (sum & 0xFF));
    return line;
}

// n bytes counting up from first.
std::vector<std::uint8_t> bytes(std::size_t n, std::uint8_t first = 0) {
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i) {
        v[i] = static_cast<std::uint8_t>(first + i);
    }
    return v;
}

// Records of `length` bytes covering [address, address + total), gap-free.
std::vector<std::string> run(std::uint16_t address, std::size_t total, std::size_t length = 16) {
    std::vector<std::string> lines;
    for (std::size_t done = 0; done < total;) {
        const std::size_t n = std::min(length, total - done);
        lines.push_back(record(static_cast<std::uint16_t>(address + done),
                               bytes(n, static_cast<std::uint8_t>(done))));
        done += n;
    }
    return lines;
}

std::vector<std::string> concat(std::vector<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (auto& p : parts) {
        all.insert(all.end(), p.begin(), p.end());
    }
    return all;
}

struct Shape {
    std::uint16_t address;
    std::int32_t dim;
    bool operator==(const Shape&) const = default;
};

void PrintTo(const Shape& s, std::ostream* os) {
    char text[32];
    std::snprintf(text, sizeof text, "{0x%04X, %d}", s.address, s.dim);
    *os << text;
}

std::vector<Shape> shapeOf(const TFirmware& fw) {
    std::vector<Shape> shape;
    for (const TBlock& b : fw.buff) {
        EXPECT_EQ(static_cast<std::size_t>(b.dim), b.block.size());
        shape.push_back({b.address, b.dim});
    }
    return shape;
}

TFirmware load(const std::vector<std::string>& lines) {
    TFirmware fw;
    for (const std::string& l : lines) {
        fw.addHex(l);
    }
    return fw;
}

// ------------------------------------------------------------------ addHex

struct BlockCase {
    const char* what;
    std::vector<std::string> lines;
    std::vector<Shape> blocks;
};

void PrintTo(const BlockCase& c, std::ostream* os) {
    *os << c.what;
}

class AddHexBlocks : public testing::TestWithParam<BlockCase> {};

TEST_P(AddHexBlocks, CutsBlocksAsTheRecordsDictate) {
    EXPECT_EQ(shapeOf(load(GetParam().lines)), GetParam().blocks);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AddHexBlocks,
    testing::Values(
        BlockCase{"full blocks 512 apart, the last one shorter",
                  run(0x1000, 1300),
                  {{0x1000, 512}, {0x1200, 512}, {0x1400, 276}}},
        BlockCase{"a record at the end of the last block continues it",
                  {record(0x1000, bytes(8)), record(0x1008, bytes(4))},
                  {{0x1000, 12}}},
        BlockCase{"a record at the end of a full block starts a new one",
                  concat({run(0x1000, 512), {record(0x1200, bytes(4))}}),
                  {{0x1000, 512}, {0x1200, 4}}},
        BlockCase{"a record crossing the 512th byte is split",
                  concat({run(0x1000, 508), {record(0x11FC, bytes(16))}}),
                  {{0x1000, 512}, {0x1200, 12}}},
        BlockCase{"blocks are cut from the start of the run, not at absolute boundaries",
                  run(0x1004, 1024 + 8, 12),
                  {{0x1004, 512}, {0x1204, 512}, {0x1404, 8}}},
        BlockCase{"a gap starts a new block",
                  {record(0x1000, bytes(8)), record(0x1010, bytes(8))},
                  {{0x1000, 8}, {0x1010, 8}}},
        BlockCase{"a jump backwards starts a new block",
                  {record(0x1010, bytes(8)), record(0x1000, bytes(8))},
                  {{0x1010, 8}, {0x1000, 8}}},
        BlockCase{"an overlapping record starts a new block",
                  {record(0x1000, bytes(8)), record(0x1004, bytes(4))},
                  {{0x1000, 8}, {0x1004, 4}}},
        BlockCase{"a block ending at 0x10000 is followed by a new block at 0x0000",
                  {record(0xFFF0, bytes(16)), record(0x0000, bytes(16))},
                  {{0xFFF0, 16}, {0x0000, 16}}},
        BlockCase{"a split past 0xFFFF puts the new block at the wrapped address",
                  concat({run(0xFE00, 496), {record(0xFFF0, bytes(32))}}),
                  {{0xFE00, 512}, {0x0000, 16}}},
        BlockCase{"a zero-length record at a new address makes an empty block, the next "
                  "record at that address fills it",
                  {record(0x1000, bytes(8)), record(0x2000, {}), record(0x2000, bytes(4))},
                  {{0x1000, 8}, {0x2000, 4}}},
        BlockCase{
            "a zero-length first record makes an empty block", {record(0x3000, {})}, {{0x3000, 0}}},
        BlockCase{"a zero-length record at the end of a full block makes an empty block",
                  concat({run(0x1000, 512), {record(0x1200, {})}}),
                  {{0x1000, 512}, {0x1200, 0}}},
        BlockCase{"records of other types change nothing; a type 04 record between "
                  "consecutive data records does not separate them",
                  {record(0x0000, {0x00, 0x10}, 4), record(0x1000, bytes(8)),
                   record(0x0000, {0x00, 0x20}, 4), record(0x1008, bytes(8)),
                   record(0x0000, {0x12, 0x34}, 2), record(0x0000, {1, 2, 3, 4}, 3),
                   record(0x0000, {0, 0x10, 0x10, 0}, 5), record(0x0000, {}, 1)},
                  {{0x1000, 16}}},
        BlockCase{"an unknown record type is ignored whatever follows position 9",
                  {":FF00000AZZ not hex at all", ":00000001"},
                  {}},
        BlockCase{"no data record leaves no block",
                  {record(0x0000, {0x00, 0x10}, 4), record(0x0000, {}, 1)},
                  {}}));

TEST(AddHex, TakesTheDataBytesInOrderAcrossASplit) {
    TFirmware fw = load(concat({run(0x1000, 508), {record(0x11FC, bytes(8, 0xA0))}}));
    ASSERT_EQ(fw.buff.size(), 2u);
    const std::vector<std::uint8_t> tail(fw.buff[0].block.end() - 4, fw.buff[0].block.end());
    EXPECT_EQ(tail, (std::vector<std::uint8_t>{0xA0, 0xA1, 0xA2, 0xA3}));
    EXPECT_EQ(fw.buff[1].block, (std::vector<std::uint8_t>{0xA4, 0xA5, 0xA6, 0xA7}));
}

// Lines that differ from a clean record only where the loader does not look.
TEST(AddHex, ReadsLaxLinesLikeTheirCleanRecord) {
    const std::vector<std::uint8_t> data = {0xDE, 0xAD, 0xBE, 0xEF};
    const std::pair<const char*, std::string> cases[] = {
        {"lower-case digits", ":04100000deadbeefb4"},
        {"wrong checksum", ":04100000DEADBEEF00"},
        {"no checksum", ":04100000DEADBEEF"},
        {"another start character", "X04100000DEADBEEFB4"},
        {"characters after the last data byte", ":04100000DEADBEEFB4 trailing; garbage"},
    };
    for (const auto& [what, line] : cases) {
        SCOPED_TRACE(what);
        TFirmware fw = load({line});
        ASSERT_EQ(fw.buff.size(), 1u);
        EXPECT_EQ(fw.buff[0].address, 0x1000);
        EXPECT_EQ(fw.buff[0].block, data);
    }
}

// A line the loader rejects: the error names the field's characters (as many
// as the line holds), and what came before stays.
struct BadLine {
    const char* line;
    const char* error;
    std::vector<Shape> blocksAfter;  // after a good record of 4 bytes at 0x1000
};

TEST(AddHex, RejectsNonHexadecimalAndShortFieldsKeepingEarlierBytes) {
    const std::string good = record(0x1000, bytes(4));
    const BadLine cases[] = {
        {"", "'$' is not a valid integer value", {{0x1000, 4}}},
        {":", "'$' is not a valid integer value", {{0x1000, 4}}},
        {":0", "'$0' is not a valid integer value", {{0x1000, 4}}},
        {":0G100000", "'$0G' is not a valid integer value", {{0x1000, 4}}},
        {":+4100000AABBCCDD", "'$+4' is not a valid integer value", {{0x1000, 4}}},
        {":04100", "'$100' is not a valid integer value", {{0x1000, 4}}},
        {":0410G000AABBCCDD", "'$10G0' is not a valid integer value", {{0x1000, 4}}},
        {":04 10000AABBCCDD", "'$ 100' is not a valid integer value", {{0x1000, 4}}},
        {":0410040", "'$0' is not a valid integer value", {{0x1000, 4}}},
        {":041004Z0AABBCCDD", "'$Z0' is not a valid integer value", {{0x1000, 4}}},
        // Data faults come after the block choice and keep the bytes before them.
        {":04100400AABBZZDD", "'$ZZ' is not a valid integer value", {{0x1000, 6}}},
        {":04100400AABB", "'$' is not a valid integer value", {{0x1000, 6}}},
        {":04100400AABBC", "'$C' is not a valid integer value", {{0x1000, 6}}},
        {":04100400AA BB", "'$ B' is not a valid integer value", {{0x1000, 5}}},
        {":FF100400", "'$' is not a valid integer value", {{0x1000, 4}}},
        {":04200000", "'$' is not a valid integer value", {{0x1000, 4}, {0x2000, 0}}},
    };
    for (const BadLine& c : cases) {
        SCOPED_TRACE(std::string("line '") + c.line + "'");
        TFirmware fw = load({good});
        try {
            fw.addHex(c.line);
            ADD_FAILURE() << "no conversion error";
        } catch (const ConvertError& e) {
            EXPECT_STREQ(e.what(), c.error);
        }
        EXPECT_EQ(shapeOf(fw), c.blocksAfter);
    }
}

TEST(AddHex, RejectsABinaryLineWithoutReadingPastIt) {
    const std::string line("\x3A\x00\xFF\x10", 4);
    TFirmware fw;
    EXPECT_THROW(fw.addHex(line), ConvertError);
    EXPECT_TRUE(fw.buff.empty());
}

// --------------------------------------------------------------- BlockCrc

TEST(BlockCrc, MatchesTheCheckValues) {
    const std::pair<std::string, std::uint16_t> cases[] = {
        {"abc", 0x4C45}, {"123456789", 0x48D3}, {"", 0x0000}};
    for (const auto& [text, crc] : cases) {
        SCOPED_TRACE(text);
        const std::vector<std::uint8_t> data(text.begin(), text.end());
        EXPECT_EQ(BlockCrc(data), crc);
    }
}

// ------------------------------------------------------------- extractHex

// One block of the given bytes at the given address.
TFirmware oneBlock(std::uint16_t address, std::vector<std::uint8_t> data) {
    TFirmware fw;
    fw.creaNuovoBlocco();
    fw.buff.back().address = address;
    fw.buff.back().dim = static_cast<std::int32_t>(data.size());
    fw.buff.back().block = std::move(data);
    return fw;
}

struct GroupCase {
    std::size_t dim;
    std::int32_t num;
    std::int32_t packets;
};

// "512bytes_8perPacket"
std::string GroupName(const GroupCase& c) {
    return std::to_string(c.dim) + "bytes_" + std::to_string(c.num) + "perPacket";
}
void PrintTo(const GroupCase& c, std::ostream* os) {
    *os << GroupName(c);
}

class ExtractHexGroups : public testing::TestWithParam<GroupCase> {};

TEST_P(ExtractHexGroups, CutsTheBlockIntoZeroFilledPackets) {
    const auto [dim, num, packets] = GetParam();
    const std::vector<std::uint8_t> data = bytes(dim, 1);
    TFirmware fw = oneBlock(0x1200, data);
    TPacketArray ris(3);  // stale content is dropped
    ASSERT_EQ(fw.extractHex(num, ris), packets);
    ASSERT_EQ(ris.size(), static_cast<std::size_t>(packets));
    EXPECT_EQ(fw.index, 1);

    const std::uint16_t crc = BlockCrc(data);
    const TPacket header{
        {0x12, static_cast<std::uint8_t>(dim >> 8), static_cast<std::uint8_t>(dim & 0xFF), 0x12,
         0x00, static_cast<std::uint8_t>(crc >> 8), static_cast<std::uint8_t>(crc & 0xFF), 0x12}};
    EXPECT_EQ(ris[0].bytes, header.bytes);

    // Packet p holds bytes (p-1)*num ... p*num-1 of the block, then zeros.
    for (std::size_t p = 1; p < ris.size(); ++p) {
        SCOPED_TRACE("packet " + std::to_string(p));
        for (std::size_t k = 0; k < 8; ++k) {
            const std::size_t j = (p - 1) * static_cast<std::size_t>(num) + k;
            const bool inBlock = k < static_cast<std::size_t>(num) && j < dim;
            EXPECT_EQ(ris[p].bytes[k], inBlock ? data[j] : 0) << "byte " << k;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, ExtractHexGroups,
                         testing::Values(GroupCase{512, 8, 65},  // full block, no fill
                                         GroupCase{260, 8, 34},  // 32 full + 4 bytes and 4 zeros
                                         GroupCase{9, 8, 3},     // one full + the ninth byte
                                         GroupCase{0, 8, 1},     // the header alone
                                         GroupCase{8, 8, 2},     //
                                         GroupCase{9, 3, 4},     // fewer bytes per packet
                                         GroupCase{5, 1, 6}),
                         [](const auto& p) { return GroupName(p.param); });

TEST(ExtractHex, HeaderOfAFullBlockAt0x1200) {
    TFirmware fw = oneBlock(0x1200, bytes(512));
    TPacketArray ris;
    ASSERT_EQ(fw.extractHex(8, ris), 65);
    EXPECT_EQ(ris[0].bytes[1], 0x02);
    EXPECT_EQ(ris[0].bytes[2], 0x00);
    EXPECT_EQ(ris[0].bytes[3], 0x12);
    EXPECT_EQ(ris[0].bytes[4], 0x00);
}

TEST(ExtractHex, ChecksumCoversTheBlockBytesOnlyNotTheFill) {
    TFirmware fw = oneBlock(0x1000, {'1', '2', '3', '4', '5', '6', '7', '8', '9'});
    TPacketArray ris;
    ASSERT_EQ(fw.extractHex(8, ris), 3);
    EXPECT_EQ(ris[0].bytes[2], 9);
    EXPECT_EQ(ris[0].bytes[5], 0x48);
    EXPECT_EQ(ris[0].bytes[6], 0xD3);
}

TEST(ExtractHex, WalksEveryBlockThenReturnsZeroUntilFirst) {
    TFirmware fw = load(concat({run(0x1000, 1100), {record(0x3000, {})}}));
    ASSERT_EQ(fw.totBurst(), 4);
    TPacketArray ris;
    std::int32_t headerBytes = 0;
    std::vector<std::uint16_t> addresses;
    fw.first();
    for (std::int32_t n = fw.extractHex(8, ris); n != 0; n = fw.extractHex(8, ris)) {
        headerBytes += ris[0].bytes[1] * 256 + ris[0].bytes[2];
        addresses.push_back(static_cast<std::uint16_t>(ris[0].bytes[3] * 256 + ris[0].bytes[4]));
        EXPECT_EQ(fw.index, static_cast<std::int32_t>(addresses.size()));
    }
    EXPECT_EQ(addresses, (std::vector<std::uint16_t>{0x1000, 0x1200, 0x1400, 0x3000}));
    EXPECT_EQ(headerBytes, 1100);
    EXPECT_EQ(fw.totalByte(), 1100);

    ris.resize(2);
    EXPECT_EQ(fw.extractHex(8, ris), 0);
    EXPECT_TRUE(ris.empty());
    EXPECT_EQ(fw.index, 4);

    fw.first();
    ASSERT_EQ(fw.extractHex(8, ris), 65);
    EXPECT_EQ(ris[0].bytes[3], 0x10);
}

TEST(ExtractHex, EmptyImageAndAStrayIndexYieldNothing) {
    TFirmware empty;
    TPacketArray ris;
    EXPECT_EQ(empty.extractHex(8, ris), 0);
    EXPECT_EQ(empty.totalByte(), 0);
    EXPECT_EQ(empty.totBurst(), 0);

    TFirmware fw = oneBlock(0x1000, bytes(16));
    fw.index = -1;
    EXPECT_EQ(fw.extractHex(8, ris), 0);
    EXPECT_TRUE(ris.empty());
}

// A packet holds 8 bytes: more would write past it, fewer than 1 would never
// finish the block.
TEST(ExtractHex, RefusesBytesPerPacketOutside1To8) {
    for (const std::int32_t num : {0, -1, 9, 64}) {
        SCOPED_TRACE(num);
        TFirmware fw = oneBlock(0x1000, bytes(16));
        TPacketArray ris;
        EXPECT_THROW(fw.extractHex(num, ris), std::invalid_argument);
        EXPECT_EQ(fw.index, 0);
    }
}

// ---------------------------------------------------------------- printHex

TEST(PrintHex, WritesThreeLinesPerBlock) {
    TFirmware fw =
        load({record(0x1000, {0x0A, 0xBC, 0x01}), record(0xABCD, {}), record(0x00A0, {0xFF})});
    std::vector<std::string> prn = {"kept"};
    fw.printHex(prn);
    const std::string rule(53, '-');
    const std::vector<std::string> expected = {
        "kept", "Block (00) Address 1000   Bytes: 3 ", "0A BC 01 ",
        rule,   "Block (01) Address ABCD   Bytes: 0 ", "",
        rule,   "Block (02) Address 00A0   Bytes: 1 ", "FF ",
        rule,
    };
    EXPECT_EQ(prn, expected);
}

TEST(PrintHex, NumbersBlocksPast99AndFullBlocks) {
    TFirmware fw = load(run(0x1000, 512));
    for (int i = 0; i < 100; ++i) {
        fw.creaNuovoBlocco();
    }
    std::vector<std::string> prn;
    fw.printHex(prn);
    ASSERT_EQ(prn.size(), 303u);
    EXPECT_EQ(prn[0], "Block (00) Address 1000   Bytes: 512 ");
    EXPECT_EQ(prn[1].size(), 512u * 3);
    EXPECT_EQ(prn[300], "Block (100) Address 0000   Bytes: 0 ");
}

}  // namespace
