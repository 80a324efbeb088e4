// Compare Program / Compare Data: every differing range of a whole memory, against a simulated
// chip, and the log lines a user and a script read.
#include <gtest/gtest.h>

#include <algorithm>

#include "Recorder.h"
#include "SimSocket.h"
#include "operations/Compare.h"

namespace quillon {
namespace {

using Lines = std::vector<std::string>;
using Ranges = std::vector<DifferingRange>;

std::vector<std::uint8_t> Pattern(std::size_t size)
{
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + (i >> 8) + 1);
    return bytes;
}

struct RangesCase {
    const char* what;
    std::vector<std::size_t> changed;  // addresses whose byte differs
    std::size_t size;
    Ranges expected;
};

class RangesOf : public ::testing::TestWithParam<RangesCase> {};

TEST_P(RangesOf, EveryRunOfDifferingBytesIsOneRange)
{
    const RangesCase& c = GetParam();
    const std::vector<std::uint8_t> chip = Pattern(c.size);
    std::vector<std::uint8_t> expected = chip;
    for (std::size_t a : c.changed) expected[a] ^= 0x5A;
    EXPECT_EQ(DifferingRanges(expected, chip), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Compare, RangesOf,
    ::testing::Values(
        RangesCase{"none", {}, 256, {}},
        RangesCase{"first and last byte", {0, 255}, 256, {{0, 0}, {255, 255}}},
        RangesCase{"a run across a block edge", {62, 63, 64, 65}, 256, {{62, 65}}},
        RangesCase{"neighbours one apart stay apart", {10, 12}, 256, {{10, 10}, {12, 12}}},
        RangesCase{"a short tail after the last whole block", {129, 130}, 131, {{129, 130}}},
        RangesCase{"above 64 KiB", {0x3F000, 0x3F001}, 0x40000, {{0x3F000, 0x3F001}}}),
    [](const auto& info) {
        std::string name = info.param.what;
        std::replace_if(name.begin(), name.end(), [](char ch) { return !std::isalnum(static_cast<unsigned char>(ch)); }, '_');
        return name;
    });

TEST(Compare, OnlyTheShorterLengthIsCompared)
{
    const std::vector<std::uint8_t> chip = Pattern(64);
    const std::vector<std::uint8_t> expected(chip.begin(), chip.begin() + 16);
    EXPECT_TRUE(DifferingRanges(expected, chip).empty());
}

TEST(Compare, RangeTextsNameBothEndsAndTheCount)
{
    EXPECT_EQ(RangeText({0x100, 0x10F}), "0x0100-0x010F (16 bytes)");
    EXPECT_EQ(RangeText({0x200, 0x200}), "0x0200 (1 byte)");
    EXPECT_EQ(RangeText({0x3F000, 0x3F003}), "0x3F000-0x3F003 (4 bytes)");
}

TEST(Compare, TheLogListsAHundredRangesThenSaysHowManyMore)
{
    Ranges ranges;
    for (std::uint32_t i = 0; i < 103; ++i) ranges.push_back({2 * i, 2 * i});
    const Lines lines = RangeLines(ranges);
    ASSERT_EQ(lines.size(), kListedRanges + 1);
    EXPECT_EQ(lines[99], "  0x00C6 (1 byte)");
    EXPECT_EQ(lines.back(), "  and 3 more ranges");
    EXPECT_EQ(RangeLines(Ranges(101, DifferingRange{})).back(), "  and 1 more range");
    EXPECT_EQ(RangeLines(Ranges(100, DifferingRange{})).size(), 100u);
}

// The chip holds a program; the user's bytes differ from it in three places.
TEST(Compare, FindsEveryDifferingRangeOfTheWholeFlashAndKeepsTheImage)
{
    test::SimSocket s("ATmega8");
    test::Timeline timeline(s.ctx);
    const std::vector<std::uint8_t> program = Pattern(s.ctx.chip.flashSize);
    std::copy(program.begin(), program.end(), s.Chip().flash.begin());
    std::vector<std::uint8_t> mine = program;
    mine[0] ^= 1;
    for (std::size_t a = 0x100; a <= 0x10F; ++a) mine[a] = 0xFF;
    mine[0x1FFF] = static_cast<std::uint8_t>(~mine[0x1FFF]);
    const std::vector<std::uint8_t> imageBefore(s.ctx.chip.flash.begin(), s.ctx.chip.flash.end());

    Comparison comparison;
    const Result result = CompareMemory(s.ctx, MemoryKind::Program, mine, comparison);

    EXPECT_EQ(result.failure, FailureKind::Differs);
    EXPECT_EQ(comparison.ranges, (Ranges{{0, 0}, {0x100, 0x10F}, {0x1FFF, 0x1FFF}}));
    EXPECT_EQ(comparison.differing, 18u);
    EXPECT_EQ(comparison.chip, program);
    EXPECT_TRUE(std::equal(imageBefore.begin(), imageBefore.end(), s.ctx.chip.flash.begin()));
    EXPECT_EQ(timeline.events.at(1), "Trying to compare the program");
    const Lines tail(timeline.events.end() - 6, timeline.events.end());
    EXPECT_EQ(tail, (Lines{"</window>", "       Finished. 18 bytes differ in 3 ranges:", "  0x0000 (1 byte)",
                           "  0x0100-0x010F (16 bytes)", "  0x1FFF (1 byte)", "End time: 10:0:3"}));
    EXPECT_EQ(result.Words(), "       Finished. 18 bytes differ in 3 ranges:\n  0x0000 (1 byte)\n"
                            "  0x0100-0x010F (16 bytes)\n  0x1FFF (1 byte)");
}

TEST(Compare, TheSameBytesEndWithTheVerifysLine)
{
    test::SimSocket s("ATmega8");
    test::Timeline timeline(s.ctx);
    const std::vector<std::uint8_t> data = Pattern(s.ctx.chip.eepromSize);
    std::copy(data.begin(), data.end(), s.Chip().eeprom.begin());

    Comparison comparison;
    EXPECT_TRUE(CompareMemory(s.ctx, MemoryKind::Data, data, comparison));
    EXPECT_TRUE(comparison.ranges.empty());
    EXPECT_EQ(timeline.events.at(1), "Trying to compare the EEPROM");
    const Lines tail(timeline.events.end() - 3, timeline.events.end());
    EXPECT_EQ(tail, (Lines{"       Finished. No differences found.", "Compared 512 bytes.", "End time: 10:0:3"}));
}

TEST(Compare, AReadThatFailsReportsNoDifferences)
{
    test::SimSocket s("ATmega8");
    s.HangUpAfter(40);
    Comparison comparison;
    const Result result = CompareMemory(s.ctx, MemoryKind::Program, Pattern(s.ctx.chip.flashSize), comparison);
    EXPECT_EQ(result.failure, FailureKind::Link);
    EXPECT_TRUE(comparison.chip.empty());
    EXPECT_TRUE(comparison.ranges.empty());
}

TEST(Compare, NoChipSelectedSendsNothing)
{
    test::SimSocket s("ATmega8", false);
    Comparison comparison;
    EXPECT_EQ(CompareMemory(s.ctx, MemoryKind::Program, {}, comparison).failure, FailureKind::NoChip);
    EXPECT_TRUE(s.Packets().empty());
}

}  // namespace
}  // namespace quillon
