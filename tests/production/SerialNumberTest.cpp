// Serial numbers in bytes, and which number comes next.
#include <gtest/gtest.h>

#include "production/SerialNumber.h"

namespace quillon::production {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(SerialNumber, EverySpellingInBytes)
{
    const struct {
        SerialFormat format;
        unsigned length;
        bool big;
        std::uint64_t number;
        std::optional<Bytes> bytes;
    } cases[] = {
        {SerialFormat::Binary, 4, false, 1041, Bytes{0x11, 0x04, 0x00, 0x00}},
        {SerialFormat::Binary, 4, true, 1041, Bytes{0x00, 0x00, 0x04, 0x11}},
        {SerialFormat::Binary, 1, false, 255, Bytes{0xFF}},
        {SerialFormat::Binary, 1, false, 256, std::nullopt},
        {SerialFormat::Binary, 8, true, 0x0102030405060708, Bytes{1, 2, 3, 4, 5, 6, 7, 8}},
        {SerialFormat::Bcd, 3, true, 123456, Bytes{0x12, 0x34, 0x56}},
        {SerialFormat::Bcd, 3, false, 123456, Bytes{0x56, 0x34, 0x12}},
        {SerialFormat::Bcd, 2, true, 10000, std::nullopt},
        {SerialFormat::Decimal, 6, false, 1041, Bytes{'0', '0', '1', '0', '4', '1'}},
        {SerialFormat::Decimal, 6, true, 1041, Bytes{'0', '0', '1', '0', '4', '1'}},  // text reads left to right
        {SerialFormat::Decimal, 3, false, 1000, std::nullopt},
        {SerialFormat::Hex, 4, false, 0xBEEF, Bytes{'B', 'E', 'E', 'F'}},
        {SerialFormat::Hex, 2, false, 0x100, std::nullopt},
    };
    for (const auto& c : cases) {
        SerialRule rule;
        rule.format = c.format;
        rule.length = c.length;
        rule.bigEndian = c.big;
        EXPECT_EQ(EncodeSerial(rule, c.number), c.bytes) << FormatName(c.format) << " " << c.number;
    }
    EXPECT_EQ(LargestFitting(SerialFormat::Binary, 8), UINT64_MAX);
    EXPECT_EQ(LargestFitting(SerialFormat::Decimal, 8), 99999999u);
}

TEST(SerialNumber, NextFollowsTheStepAndStopsAtTheLast)
{
    SerialRule rule;
    rule.first = 1000;
    rule.step = 5;
    rule.last = 1012;
    EXPECT_EQ(NextSerial(rule, std::nullopt), 1000u);
    EXPECT_EQ(NextSerial(rule, 1000), 1005u);
    EXPECT_EQ(NextSerial(rule, 1005), 1010u);
    EXPECT_EQ(NextSerial(rule, 1010), std::nullopt);  // 1015 is past the last
    EXPECT_EQ(NextSerial(rule, 1007), 1010u);         // off the step: the next on it
    EXPECT_EQ(NextSerial(rule, 3), 1000u);            // an older range's number
    EXPECT_TRUE(InRule(rule, 1005));
    EXPECT_FALSE(InRule(rule, 1006));

    SerialRule list;
    list.values = {7, 3, 9};
    EXPECT_EQ(NextSerial(list, std::nullopt), 7u);
    EXPECT_EQ(NextSerial(list, 7), 3u);
    EXPECT_EQ(NextSerial(list, 3), 9u);
    EXPECT_EQ(NextSerial(list, 9), std::nullopt);
}

TEST(SerialNumber, PatchWritesTheBytesAtTheAddressOnly)
{
    SerialRule rule;
    rule.address = 2;
    rule.length = 2;
    Bytes image(6, 0xFF);
    ASSERT_TRUE(PatchSerial(rule, 0x1234, image));
    EXPECT_EQ(image, (Bytes{0xFF, 0xFF, 0x34, 0x12, 0xFF, 0xFF}));
    rule.address = 5;
    EXPECT_FALSE(PatchSerial(rule, 1, image));  // would run off the end
}

}  // namespace
}  // namespace quillon::production
