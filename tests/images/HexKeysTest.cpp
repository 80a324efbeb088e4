#include <gtest/gtest.h>

#include <initializer_list>
#include <random>
#include <string_view>

#include "images/HexKeys.h"
#include "images/HexRows.h"
#include "images/Views.h"
#include "ImagesFixture.h"

namespace quillon {
namespace {

constexpr std::uint32_t kTwoLines = 32;  // line 1 is the last line

// What a key does, as the view shows it: the characters that change and the caret.
struct KeyCase {
    const char* what;
    std::size_t caret;
    std::uint16_t key;
    std::vector<TextEdit> edits;
    std::size_t newCaret;
};

void PrintTo(const KeyCase& c, std::ostream* os)
{
    *os << c.what;
}

// The key a plain key press of `c` gives: the letters' codes are their upper-case ASCII, and
// they type the character itself.
ViewKey Typed(char c)
{
    const bool letter = c >= 'a' && c <= 'z';
    const bool code = letter || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ' ';
    // Punctuation has codes of its own (0xBA and on); none of them is an editing key.
    const auto vk = static_cast<std::uint16_t>(letter ? c - 'a' + 'A' : code ? c : 0xBA);
    return {vk, static_cast<char32_t>(c), false};
}

// Keys that type nothing: Backspace, Delete, the modifiers and the like.
ViewKey Code(std::uint16_t code)
{
    return {code, 0, false};
}

// A sequence of keys typed from a caret, and the bytes and caret it leaves.
struct TypingCase {
    const char* what;
    std::size_t caret;
    std::vector<ViewKey> keys;
    std::vector<std::pair<std::size_t, std::uint8_t>> bytes;  // address, value; the rest stay FF
    std::size_t newCaret;
};

void PrintTo(const TypingCase& c, std::ostream* os)
{
    *os << c.what;
}

std::vector<ViewKey> Text(std::string_view text)
{
    std::vector<ViewKey> keys;
    for (char c : text) keys.push_back(Typed(c));
    return keys;
}

std::vector<ViewKey> Then(std::vector<ViewKey> keys, std::initializer_list<ViewKey> more)
{
    keys.insert(keys.end(), more);
    return keys;
}

std::vector<ViewKey> Shifted(std::string_view text)
{
    std::vector<ViewKey> keys;
    for (char c : text) {
        keys.push_back(Code(VkShift));
        keys.push_back(Typed(c));
    }
    return keys;
}

constexpr std::size_t kRow1 = 82;

class ViewTyping : public ::testing::TestWithParam<TypingCase> {};

TEST_P(ViewTyping, BytesAndCaret)
{
    const TypingCase& c = GetParam();
    MemoryDocument document(kTwoLines);
    std::size_t caret = c.caret;
    for (const ViewKey& key : c.keys) {
        const ViewKeyOutcome out = ViewKeyDown(document, caret, key);
        EXPECT_LE(out.edits.size(), 1u) << "one key, one byte";
        if (!out.handled) continue;
        ApplyEdits(document, out);
        caret = out.caret;
    }
    std::vector<std::uint8_t> expected(kTwoLines, 0xFF);
    for (const auto& [address, value] : c.bytes) expected[address] = value;
    EXPECT_EQ(std::vector<std::uint8_t>(document.Bytes().begin(), document.Bytes().end()), expected);
    EXPECT_EQ(caret, c.newCaret);
}

// On a view of two rows, every byte FF. Row 0's byte n has its digits at 10 + 3n and its
// character at 64 + n.
INSTANTIATE_TEST_SUITE_P(
    HexKeys, ViewTyping,
    ::testing::Values(
        TypingCase{"deadbeef fills four bytes, the caret skipping the gaps", 10, Text("deadbeef"),
                   {{0, 0xDE}, {1, 0xAD}, {2, 0xBE}, {3, 0xEF}}, 22},
        TypingCase{"the same from byte 0x10 on the next row", kRow1 + 10, Text("deadbeef"),
                   {{16, 0xDE}, {17, 0xAD}, {18, 0xBE}, {19, 0xEF}}, kRow1 + 22},
        TypingCase{"AB typed with Shift gives AB: Shift alone does nothing", 10, Shifted("AB"), {{0, 0xAB}}, 13},
        TypingCase{"upper and lower case digits alike", 10, Text("aBcD"), {{0, 0xAB}, {1, 0xCD}}, 16},
        TypingCase{"a digit on the gap fills the next byte", 12, Text("12"), {{1, 0x12}}, 16},
        TypingCase{"a digit in the address part fills byte 0", 3, Text("7"), {{0, 0x7F}}, 11},
        TypingCase{"the caret stops after a row's last digit; the next digit goes to the next row", 55,
                   Text("123"), {{15, 0x12}, {16, 0x3F}}, kRow1 + 11},
        TypingCase{"the last digit of the memory is the end", kRow1 + 55, Text("1234"), {{31, 0x12}}, kRow1 + 57},
        TypingCase{"spaces and other characters in the hex column do nothing", 10, Text("de ad-xy"),
                   {{0, 0xDE}, {1, 0xAD}}, 16},
        TypingCase{"the character column stores the characters typed, case kept", 64, Text("ab"),
                   {{0, 0x61}, {1, 0x62}}, 66},
        TypingCase{"Shift+A in the character column stores A", 64, Shifted("A!"), {{0, 0x41}, {1, 0x21}}, 66},
        TypingCase{"the character column's end goes on to the next row", 79, Text("xyz"),
                   {{15, 'x'}, {16, 'y'}, {17, 'z'}}, kRow1 + 66},
        TypingCase{"modifiers alone write nothing and keep the caret", 64,
                   {Code(VkShift), Code(VkControl), Code(0x12), Code(0x14)}, {}, 64},
        TypingCase{"a Ctrl chord is left to the window", 10, {{'C', 'c', true}, {'V', 0, true}}, {}, 10},
        TypingCase{"function keys, Escape, Tab, Enter and Insert are left to the window", 64,
                   {Code(0x74), Code(0x1B), Code(0x09), Code(VkEnter), Code(0x2D)}, {}, 64},
        TypingCase{"Backspace after a byte skips the gap back into its low digit", 13,
                   Then(Text("12"), {Code(VkBackspace)}), {{1, 0x1F}}, 14},
        TypingCase{"Backspace at the first digit of row 0 wraps to the end of the last row's digits", 10,
                   {Code(VkBackspace)}, {}, kRow1 + 57},
        TypingCase{"Delete on a digit writes F and moves on one place", 10, Then(Text("00"), {Code(VkDelete)}),
                   {{0, 0x00}}, 14},
        TypingCase{"Delete on the gap writes nothing and moves on", 12, {Code(VkDelete)}, {}, 13},
        TypingCase{"Backspace in the character column makes the byte left of the caret FF", 64,
                   Then(Text("ab"), {Code(VkBackspace)}), {{0, 'a'}}, 65},
        TypingCase{"Home, End, Page Up, Page Down move one place and write nothing", 64,
                   {Code(0x24), Code(0x23), Code(0x21), Code(0x22)}, {}, 68},
        TypingCase{"a character that is not printable ASCII is not stored", 64, {{0, U'\u00e9', false}}, {}, 64}));

TEST(HexKeys, ArrowsAreLeftToTheControl)
{
    const MemoryDocument document(kTwoLines);
    for (std::uint16_t key : {VkLeft, VkUp, VkRight, VkDown}) {
        EXPECT_FALSE(ViewKeyDown(document, 20, Code(key)).handled);
        EXPECT_FALSE(IdBoxKeyDown("1E 90 01", 2, key).handled);
    }
    EXPECT_FALSE(IdBoxKeyDown("1E 90 01", 2, VkShift).handled) << "Shift alone leaves the caret";
}

TEST(HexKeys, TypedBytesReachTheImageOnlyThroughTheView)
{
    test::TestWorkspace ctx;
    test::SelectTestChip(ctx, 1024, 64);
    MemoryDocument& document = ctx.views.view[ViewIndex(0, MemoryKind::Program)].document;
    std::size_t caret = 10;
    for (const ViewKey& key : Text("1f")) {
        ViewKeyOutcome out = ViewKeyDown(document, caret, key);
        ApplyEdits(document, out);
        caret = out.caret;
    }
    EXPECT_EQ(document.At(0), 0x1F);
    EXPECT_EQ(RowText(document, 0).substr(10, 8), "1F FF FF");
    EXPECT_EQ(ctx.chip.flash[0], 0xFF);
    StoreViewToImage(ctx.views, ctx.chip, ViewIndex(0, MemoryKind::Program), MemoryKind::Program);
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
        ViewKey key;
        if (random() % 3 == 0) {
            key = Code(random() % 2 ? VkBackspace : VkDelete);
        } else {
            key.code = static_cast<std::uint16_t>(random() % 0x100);
            key.text = random() % 4 == 0 ? 0 : static_cast<char32_t>(random() % 0x100);
            key.command = random() % 10 == 0;
        }
        if (random() % 50 == 0) caret = random() % (blank.size() + 1);
        ViewKeyOutcome out = ViewKeyDown(document, caret, key);
        ASSERT_LE(out.edits.size(), 1u);
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
    for (const ViewKey& key : {Typed('a'), Code(VkBackspace), Code(VkDelete)}) {
        ViewKeyOutcome out = ViewKeyDown(empty, 0, key);
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
