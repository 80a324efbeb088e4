#include <gtest/gtest.h>

#include <random>

#include "images/HexKeys.h"
#include "images/HexRows.h"
#include "images/Views.h"
#include "ImagesFixture.h"

namespace quillon {
namespace {

constexpr std::uint32_t kTwoLines = 32;  // line 1 is the last line
constexpr std::size_t kLine1 = 82;

// What a key does, as the view shows it: the characters that change and the caret.
struct KeyCase {
    const char* what;
    std::size_t caret;
    std::uint16_t key;
    std::vector<TextEdit> edits;
    std::size_t newCaret;
};

std::string WithEdits(std::string text, const std::vector<TextEdit>& edits)
{
    for (const TextEdit& e : edits) text.replace(e.position, e.text.size(), e.text);
    return text;
}

std::string Ch(unsigned char c)
{
    return std::string(1, static_cast<char>(c));
}

void PrintTo(const KeyCase& c, std::ostream* os)
{
    *os << c.what;
}

class ViewKeys : public ::testing::TestWithParam<KeyCase> {};

TEST_P(ViewKeys, EditsAndCaret)
{
    const KeyCase& c = GetParam();
    MemoryDocument document(kTwoLines);
    const std::string before = DocumentText(document);
    ViewKeyOutcome out = ViewKeyDown(document, c.caret, c.key);
    EXPECT_TRUE(out.handled);
    EXPECT_LE(out.edits.size(), 1u) << "one key, one byte";
    EXPECT_EQ(out.caret, c.newCaret);
    ApplyEdits(document, out);
    EXPECT_EQ(DocumentText(document), WithEdits(before, c.edits));
}

// On a view of two lines, every byte FF.
INSTANTIATE_TEST_SUITE_P(
    HexKeys, ViewKeys,
    ::testing::Values(
        KeyCase{"digit on a high digit", 10, '1', {{10, "1"}, {64, Ch(0x1F)}}, 11},
        KeyCase{"digit on a low digit", 11, 'A', {{11, "A"}, {64, Ch(0xFA)}}, 12},
        KeyCase{"keypad 1 is the letter a", 10, 0x61, {{10, "A"}, {64, Ch(0xAF)}}, 11},
        KeyCase{"Ctrl+C writes C", 13, 'C', {{13, "C"}, {65, Ch(0xCF)}}, 14},
        KeyCase{"keypad 0 is no digit", 10, 0x60, {}, 11},
        KeyCase{"digit on the space between bytes", 12, '3', {}, 13},
        KeyCase{"Delete on the space", 12, VkDelete, {}, 13},
        KeyCase{"Delete on a digit writes F", 10, VkDelete, {{10, "F"}, {64, Ch(0xFF)}}, 11},
        KeyCase{"key in the address", 3, 'A', {}, 10},
        KeyCase{"key after the hex column", 57, VkSpace, {}, kLine1 + 10},
        KeyCase{"same on the last line wraps to line 0", kLine1 + 57, VkSpace, {}, 10},
        KeyCase{"key at a line's end", 80, 'A', {}, kLine1 + 64},
        KeyCase{"same on the last line wraps to line 0", kLine1 + 80, 'A', {}, 64},
        KeyCase{"last character of the last line",
                kLine1 + 79, 'A', {{kLine1 + 55, "41"}, {kLine1 + 79, "A"}}, kLine1 + 80},
        KeyCase{"keypad 1 in the character column", 64, 0x61, {{10, "61"}, {64, "A"}}, 65},
        KeyCase{"Shift in the character column", 64, VkShift, {{10, "1F"}, {64, Ch(0x1F)}}, 65},
        KeyCase{"Delete in the character column", 70, VkDelete, {{28, "FF"}, {70, Ch(0xFF)}}, 71},
        KeyCase{"Backspace at the first digit of line 0", 10, VkBackspace, {}, kLine1 + 57},
        KeyCase{"Backspace after the last digit",
                kLine1 + 57, VkBackspace, {{kLine1 + 56, "F"}, {kLine1 + 79, Ch(0xFF)}}, kLine1 + 56},
        KeyCase{"Backspace after a low digit", 12, VkBackspace, {{11, "F"}, {64, Ch(0xFF)}}, 11},
        KeyCase{"Backspace after a space", 13, VkBackspace, {}, 12},
        KeyCase{"Backspace at the first character", kLine1 + 64, VkBackspace, {}, 80},
        KeyCase{"same on line 0 wraps to the last line", 64, VkBackspace, {}, kLine1 + 80},
        KeyCase{"Backspace in the character column", 66, VkBackspace, {{13, "FF"}, {65, Ch(0xFF)}}, 65},
        KeyCase{"Backspace in the address", 4, VkBackspace, {}, kLine1 + 57},
        KeyCase{"caret between CR and LF counts as the line's end", 81, 'A', {}, kLine1 + 64},
        KeyCase{"Backspace at a line's end clears its last byte", 80, VkBackspace,
                {{55, "FF"}, {79, Ch(0xFF)}}, 79},
        // Taken as the line's end, so the CR and the blanks after the hex column stay as they are.
        KeyCase{"Backspace between CR and LF", 81, VkBackspace, {{55, "FF"}, {79, Ch(0xFF)}}, 79}));

TEST(HexKeys, ArrowsAreLeftToTheControl)
{
    const MemoryDocument document(kTwoLines);
    for (std::uint16_t key : {VkLeft, VkUp, VkRight, VkDown}) {
        EXPECT_FALSE(ViewKeyDown(document, 20, key).handled);
        EXPECT_FALSE(IdBoxKeyDown("01 90 1E", 2, key).handled);
    }
}

TEST(HexKeys, TypedBytesReachTheImageOnlyThroughTheView)
{
    test::TestWorkspace ctx;
    test::SelectTestChip(ctx, 1024, 64);
    MemoryDocument& document = ctx.views.view[RichEdit1].document;
    std::size_t caret = 10;
    auto type = [&](std::uint16_t key) {
        ViewKeyOutcome out = ViewKeyDown(document, caret, key);
        ApplyEdits(document, out);
        caret = out.caret;
    };
    type('1');
    type('2');
    EXPECT_EQ(document.At(0), 0x12);
    EXPECT_EQ(RowText(document, 0)[64], '\x1F');
    EXPECT_EQ(caret, 12u);
    type('3');  // on the space: only moves
    type('4');
    type(VkBackspace);
    type(VkBackspace);  // now on the space, the next one goes back into byte 0
    type(VkBackspace);
    EXPECT_EQ(RowText(document, 0).substr(10, 8), "1F FF FF");

    EXPECT_EQ(ctx.chip.flash[0], 0xFF);
    StoreViewToImage(ctx.views, ctx.chip, RichEdit1, MemoryKind::Program);
    EXPECT_EQ(ctx.chip.flash[0], 0x1F);
}

// Whatever is typed, only bytes change: addresses, separators and line breaks stay, the hex
// column holds upper-case digits, and the caret stays inside the text.
TEST(HexKeys, RandomTypingKeepsTheLineFormat)
{
    constexpr std::uint32_t kSize = 64;
    const std::string blank = EmptyViewText(kSize);
    MemoryDocument document(kSize);
    std::mt19937 random(11);
    std::size_t caret = 0;
    for (int i = 0; i < 20000; ++i) {
        const auto key = static_cast<std::uint16_t>(random() % 3 == 0 ? std::uint32_t{VkBackspace}
                                                                     : random() % 0x100);
        if (random() % 50 == 0) caret = random() % (blank.size() + 1);
        ViewKeyOutcome out = ViewKeyDown(document, caret, key);
        ApplyEdits(document, out);
        if (out.handled) caret = out.caret;
        ASSERT_LE(caret, blank.size());
    }
    ASSERT_EQ(document.Size(), kSize);
    const std::string text = DocumentText(document);
    ASSERT_EQ(text.size(), blank.size());
    for (std::size_t pos = 0; pos < text.size(); ++pos) {
        const std::size_t col = pos % 82;
        const bool digit = col >= 10 && col < 57 && (col - 10) % 3 != 2;
        if (digit) {
            EXPECT_NE(std::string("0123456789ABCDEF").find(text[pos]), std::string::npos) << pos;
        } else if (col < 64 || col >= 80) {
            EXPECT_EQ(text[pos], blank[pos]) << "position " << pos;
        }
    }
}

TEST(HexKeys, EmptyViewOnlyKeepsTheCaretInside)
{
    const MemoryDocument empty;
    for (std::uint16_t key : {std::uint16_t{'A'}, std::uint16_t{VkBackspace}, std::uint16_t{VkDelete}}) {
        ViewKeyOutcome out = ViewKeyDown(empty, 0, key);
        EXPECT_TRUE(out.handled);
        EXPECT_TRUE(out.edits.empty());
        EXPECT_EQ(out.caret, 0u);
    }
}

class IdBoxKeys : public ::testing::TestWithParam<KeyCase> {};

TEST_P(IdBoxKeys, EditsAndCaret)
{
    const KeyCase& c = GetParam();
    IdBoxKeyOutcome out = IdBoxKeyDown("01 90 1E", c.caret, c.key);
    EXPECT_TRUE(out.handled);
    EXPECT_EQ(out.edits, c.edits);
    EXPECT_EQ(out.caret, c.newCaret);
}

INSTANTIATE_TEST_SUITE_P(
    HexKeys, IdBoxKeys,
    ::testing::Values(KeyCase{"digit", 0, 'A', {{0, "A"}}, 1},
                      KeyCase{"keypad 6 is f", 1, 0x66, {{1, "F"}}, 2},
                      KeyCase{"digit on a space", 2, '5', {}, 3},
                      KeyCase{"key at the end wraps to the start", 8, '5', {}, 0},
                      KeyCase{"Delete", 4, VkDelete, {{4, "F"}}, 5},
                      KeyCase{"Backspace", 1, VkBackspace, {{0, "F"}}, 0},
                      KeyCase{"Backspace after a space", 3, VkBackspace, {}, 2},
                      KeyCase{"Backspace at the start wraps to the end", 0, VkBackspace, {}, 8}));

}  // namespace
}  // namespace quillon
