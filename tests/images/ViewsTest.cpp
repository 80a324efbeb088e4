#include <gtest/gtest.h>

#include "chips/Catalogue.h"
#include "images/HexRows.h"
#include "images/HexKeys.h"
#include "images/HexText.h"
#include "images/Views.h"
#include "ImagesFixture.h"

namespace quillon {
namespace {

using test::SelectTestChip;

std::string LineOf(const std::string& text, std::size_t line)
{
    return text.substr(line * kLineStride, kLineWidth);
}

struct ViewShape {
    std::uint32_t size;
    std::size_t lines;
    const char* lastAddress;
};

class EmptyViewShape : public ::testing::TestWithParam<ViewShape> {};

TEST_P(EmptyViewShape, LinesLastAddressAndLength)
{
    const ViewShape& shape = GetParam();
    const std::string text = EmptyViewText(shape.size);
    ASSERT_EQ(text.size(), shape.lines * 82 - 2);
    EXPECT_EQ(LineOf(text, shape.lines - 1).substr(0, 8), shape.lastAddress);
    EXPECT_EQ(text.back(), '\xFF') << "no line break after the last line";
    const std::string first = LineOf(text, 0);
    EXPECT_EQ(first, "00000000: FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF   |   " +
                         std::string(16, '\xFF'));
    for (std::size_t line = 0; line + 1 < shape.lines; ++line)
        ASSERT_EQ(text.substr(line * 82 + 80, 2), "\r\n") << "line " << line;
}

INSTANTIATE_TEST_SUITE_P(Views, EmptyViewShape,
                         ::testing::Values(ViewShape{64, 4, "00000030"},
                                           ViewShape{1024, 64, "000003F0"},
                                           ViewShape{262144, 16384, "0003FFF0"}));

TEST(Views, EmptySizeGivesEmptyText)
{
    EXPECT_EQ(EmptyViewText(0), "");
}

TEST(Views, FillShowsEveryByteInBothColumns)
{
    test::TestWorkspace ctx;
    SelectTestChip(ctx, 1024, 64);
    for (int k = 0; k < 256; ++k) ctx.chip.flash[static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(k);
    FillViewFromImage(ctx.views, ctx.chip, ViewIndex(0, MemoryKind::Program), MemoryKind::Program);
    const std::string text = DocumentText(ctx.views.view[ViewIndex(0, MemoryKind::Program)].document);
    EXPECT_EQ(LineOf(text, 1), "00000010: 10 11 12 13 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F   |   " +
                                   std::string(15, '\x1F') + "\x1F");
    EXPECT_EQ(LineOf(text, 15).substr(0, 10), "000000F0: ");
    EXPECT_EQ(LineOf(text, 15).substr(55, 2), "FF");
    EXPECT_EQ(text.size(), 64u * 82 - 2) << "a fill never adds or removes lines";
    EXPECT_EQ(ctx.views.view[ViewIndex(0, MemoryKind::Program)].caret, 10u);

    // The character column rule.
    struct Case { std::uint8_t byte; char shown; };
    for (Case c : {Case{0x00, '\x1F'}, Case{0x1E, '\x1F'}, Case{0x1F, '\x1F'}, Case{0x20, ' '},
                   Case{0x41, 'A'}, Case{0x7F, '\x7F'}, Case{0x80, '\x80'}, Case{0xFF, '\xFF'}})
        EXPECT_EQ(text[CharPosition(c.byte)], c.shown) << "byte " << int(c.byte);
}

TEST(Views, StoreReadsBackWhatFillShowedAndWhatWasTyped)
{
    test::TestWorkspace ctx;
    SelectTestChip(ctx, 4096, 256);
    auto bytes = test::RandomBytes(256, 7);
    std::copy(bytes.begin(), bytes.end(), ctx.chip.eeprom.begin());
    FillViewFromImage(ctx.views, ctx.chip, ViewIndex(0, MemoryKind::Data), MemoryKind::Data);
    MemoryDocument& document = ctx.views.view[ViewIndex(0, MemoryKind::Data)].document;
    const ByteEdit typed[] = {{5, 0xAB, 0}, {6, 0x61, kShownUpperCase}};
    document.Apply(typed);
    ctx.chip.eeprom.fill(0);
    ctx.chip.eeprom[300] = 0x42;  // beyond the chip's 256 bytes: never touched
    StoreViewToImage(ctx.views, ctx.chip, ViewIndex(0, MemoryKind::Data), MemoryKind::Data);
    bytes[5] = 0xAB;
    bytes[6] = 0x61;
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), ctx.chip.eeprom.begin()));
    EXPECT_EQ(ctx.chip.eeprom[300], 0x42);
}

TEST(Views, StoreWithoutChipLeavesImagesAlone)
{
    test::TestWorkspace ctx;
    SelectTestChip(ctx, 1024, 64);
    ctx.chip.signature = 0;
    ctx.chip.flash.fill(0x5A);
    ctx.views.view[ViewIndex(0, MemoryKind::Program)].caret = 77;
    StoreViewToImage(ctx.views, ctx.chip, ViewIndex(0, MemoryKind::Program), MemoryKind::Program);
    EXPECT_EQ(ctx.chip.flash[0], 0x5A);
    EXPECT_EQ(ctx.views.view[ViewIndex(0, MemoryKind::Program)].caret, 77u);
}

TEST(Views, TransfersUseTheActivePageOnly)
{
    test::TestWorkspace ctx;
    SelectTestChip(ctx, 1024, 64);
    ctx.chip.flash[0] = 0x12;
    ctx.views.activePage = 1;
    FillActiveView(ctx.views, ctx.chip, MemoryKind::Program);
    EXPECT_EQ(ctx.views.view[ViewIndex(1, MemoryKind::Program)].document.At(0), 0x12);
    EXPECT_EQ(ctx.views.view[ViewIndex(0, MemoryKind::Program)].document.At(0), 0xFF);

    ctx.views.activePage = 0;
    StoreActiveView(ctx.views, ctx.chip, MemoryKind::Program);
    EXPECT_EQ(ctx.chip.flash[0], 0xFF) << "Page1 still showed FF";
    EXPECT_EQ(ActiveView(ctx.views, MemoryKind::Data), ViewIndex(0, MemoryKind::Data));
    ctx.views.activePage = 1;
    EXPECT_EQ(ActiveView(ctx.views, MemoryKind::Data), ViewIndex(1, MemoryKind::Data));
}

TEST(Views, FillIntoAViewNotBuiltForTheChipStaysInsideItsDocument)
{
    test::TestWorkspace ctx;
    SelectTestChip(ctx, 1024, 64);
    MemoryDocument& flash = ctx.views.view[ViewIndex(0, MemoryKind::Program)].document;
    flash.Reset(32);  // two lines for 1024 bytes
    ctx.chip.flash.fill(0x00);
    FillViewFromImage(ctx.views, ctx.chip, ViewIndex(0, MemoryKind::Program), MemoryKind::Program);
    EXPECT_EQ(flash.Size(), 32u);
    EXPECT_EQ(flash.At(31), 0x00);

    MemoryDocument& eeprom = ctx.views.view[ViewIndex(0, MemoryKind::Data)].document;
    eeprom.Reset(0);
    ctx.chip.eeprom.fill(0x11);
    FillViewFromImage(ctx.views, ctx.chip, ViewIndex(0, MemoryKind::Data), MemoryKind::Data);
    StoreViewToImage(ctx.views, ctx.chip, ViewIndex(0, MemoryKind::Data), MemoryKind::Data);
    EXPECT_EQ(eeprom.Size(), 0u);
    EXPECT_EQ(ctx.chip.eeprom[0], 0x11);
    EXPECT_EQ(ctx.views.view[ViewIndex(0, MemoryKind::Data)].caret, 0u) << "an empty view has its caret at 0";
}

TEST(Views, IdBoxShowsSignatureByteTwoFirst)
{
    EXPECT_EQ(IdBoxText(0x01901E), "1E 90 01");
    EXPECT_EQ(IdBoxText(0x07931E), "1E 93 07");
    EXPECT_EQ(IdBoxText(0), "00 00 00");
}

}  // namespace
}  // namespace quillon
