#include <gtest/gtest.h>

#include <vector>

#include "images/FindBytes.h"

namespace quillon {
namespace {

struct AddressCase {
    const char* typed;
    std::size_t size;
    std::optional<std::size_t> address;
    const char* errorPart;  // a piece of the message when refused
};

class Addresses : public ::testing::TestWithParam<AddressCase> {};

TEST_P(Addresses, HexOrDecimalWithinTheMemory)
{
    const AddressCase& c = GetParam();
    const ParsedAddress parsed = ParseAddress(c.typed, c.size);
    EXPECT_EQ(parsed.address, c.address) << c.typed;
    EXPECT_NE(parsed.error.find(c.errorPart), std::string::npos) << parsed.error;
}

INSTANTIATE_TEST_SUITE_P(
    FindBytes, Addresses,
    ::testing::Values(AddressCase{"0x3F000", 0x40000, 0x3F000, ""}, AddressCase{" 3f000h ", 0x40000, 0x3F000, ""},
                      AddressCase{"$10", 0x40000, 0x10, ""}, AddressCase{"3F000", 0x40000, 0x3F000, ""},
                      AddressCase{"1000", 0x40000, 1000, ""}, AddressCase{"0", 16, 0, ""},
                      AddressCase{"0x40000", 0x40000, std::nullopt, "ends at 0x3FFFF"},
                      AddressCase{"16", 16, std::nullopt, "ends at 0x000F"},
                      AddressCase{"12g", 0x40000, std::nullopt, "is not an address"},
                      AddressCase{"-1", 0x40000, std::nullopt, "is not an address"},
                      AddressCase{"", 0x40000, std::nullopt, "Type an address"},
                      AddressCase{"0xFFFFFFFFFFFFFFFFFF", 0x40000, std::nullopt, "past the end"},
                      AddressCase{"0", 0, std::nullopt, "select a chip"}));

TEST(FindBytes, HexPatternsTakePairsSpacesAndCommasAndRefuseOtherCharacters)
{
    EXPECT_EQ(ParseHexPattern("0C 94 5c").bytes, (std::vector<std::uint8_t>{0x0C, 0x94, 0x5C}));
    EXPECT_EQ(ParseHexPattern("0c945c").bytes, (std::vector<std::uint8_t>{0x0C, 0x94, 0x5C}));
    EXPECT_EQ(ParseHexPattern("1,2 FF").bytes, (std::vector<std::uint8_t>{0x01, 0x02, 0xFF}));
    EXPECT_NE(ParseHexPattern("0C 9X").error.find("\"X\" is not a hex digit"), std::string::npos);
    EXPECT_TRUE(ParseHexPattern("0C 9X").bytes.empty());
    EXPECT_FALSE(ParseHexPattern("  ").error.empty());
}

TEST(FindBytes, ForwardAndBackwardFromAByteGoOnAroundTheEnd)
{
    //                                     0     1     2     3     4     5     6     7
    const std::vector<std::uint8_t> memory{0xAA, 0xBB, 0x00, 0xAA, 0xBB, 0x00, 0xAA, 0xBB};
    const std::vector<std::uint8_t> needle{0xAA, 0xBB};
    EXPECT_EQ(FindBytes(memory, needle, 0, true), 0u);
    EXPECT_EQ(FindBytes(memory, needle, 1, true), 3u);
    EXPECT_EQ(FindBytes(memory, needle, 7, true), 0u) << "around the end";
    EXPECT_EQ(FindBytes(memory, needle, 5, false), 3u);
    EXPECT_EQ(FindBytes(memory, needle, 2, false), 0u);
    EXPECT_EQ(FindBytes(memory, needle, 7, false), 6u) << "a match that starts at the last place it fits";
    const std::vector<std::uint8_t> one{0xAA};
    const std::vector<std::uint8_t> pair{0xAA, 0xBB};
    EXPECT_EQ(FindBytes(pair, pair, 1, false), 0u);
    EXPECT_EQ(FindBytes(one, pair, 0, true), std::nullopt) << "longer than the memory";
    EXPECT_EQ(FindBytes(memory, std::vector<std::uint8_t>{0x11}, 3, true), std::nullopt);
    EXPECT_EQ(FindBytes(memory, std::vector<std::uint8_t>{0x00}, 2, false), 2u) << "backward includes the start";
}

}  // namespace
}  // namespace quillon
