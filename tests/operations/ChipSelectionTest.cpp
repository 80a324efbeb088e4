// Chip selection: the record it fills, the images it blanks, and the signatures it refuses; and
// the views a window rebuilds for the chip it selected.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "images/Views.h"
#include "operations/ChipSelection.h"
#include "operations/Session.h"

namespace quillon::test {
namespace {

TEST(SelectChip, FillsTheRecordAndBlanksTheImages)
{
    Session ctx;
    ctx.chip.flash.fill(0x12);
    ctx.chip.eeprom.fill(0x34);
    ctx.chip.calibration.fill(0x56);
    EXPECT_TRUE(SelectChip(ctx, 0x03931E));

    EXPECT_EQ(ctx.chip.name, "AT90S8535");
    EXPECT_EQ(ctx.chip.pictureFile, "AT90S8535.jpg");
    EXPECT_EQ(ctx.chip.signature, 0x03931E);
    EXPECT_EQ(ctx.chip.flashSize, 8192u);
    EXPECT_EQ(ctx.chip.eepromSize, 512u);
    EXPECT_EQ(ctx.chip.lockFuseCount, 2);
    EXPECT_EQ(ctx.chip.calibrationCount, 0);
    EXPECT_EQ(ctx.bus.log.Lines(), (std::vector<std::string>{"Selected chip is  AT90S8535"}));
    // The whole images are blanked, not just the chip's part of them.
    EXPECT_EQ(std::count(ctx.chip.flash.begin(), ctx.chip.flash.end(), 0xFF), static_cast<long>(kFlashImageSize));
    EXPECT_EQ(std::count(ctx.chip.eeprom.begin(), ctx.chip.eeprom.end(), 0xFF), static_cast<long>(kEepromImageSize));
    EXPECT_EQ(std::count(ctx.chip.calibration.begin(), ctx.chip.calibration.end(), 0xFF), 8);
}

TEST(SelectChip, ZeroAndUnknownSignaturesOnlyLog)
{
    Session ctx;
    EXPECT_FALSE(SelectChip(ctx, 0));
    EXPECT_EQ(ctx.chip.signature, 0);
    EXPECT_TRUE(SelectChip(ctx, 0x07931E));
    ctx.chip.flash[0] = 0x00;
    ctx.chip.lockFuse[0] = 0x00;

    EXPECT_FALSE(SelectChip(ctx, 0xFFFFFF));  // an empty socket
    EXPECT_FALSE(SelectChip(ctx, 0));

    EXPECT_EQ(ctx.bus.log.Lines(), (std::vector<std::string>{"No chip selected", "Selected chip is  ATmega8",
                                                             "Selected chip is  unknown", "No chip selected"}));
    EXPECT_EQ(ctx.chip.name, "ATmega8");
    EXPECT_EQ(ctx.chip.flash[0], 0x00);
    EXPECT_EQ(ctx.chip.lockFuse[0], 0x00);
}

TEST(Views, ChipSelectionRebuildsEveryViewAndTheBoxes)
{
    Session ctx;
    ViewSet views;
    std::vector<int> changed;
    views.changed = [&](int view) { changed.push_back(view); };
    views.view[ViewIndex(1, MemoryKind::Program)].document.Reset(3, 0x00);
    ASSERT_TRUE(SelectChip(ctx, 0x01901E));  // AT90S1200: 1024 bytes of flash, 64 of EEPROM
    RefreshViewsForChip(views, ctx.chip);

    EXPECT_EQ(views.idBox, "1E 90 01");
    EXPECT_EQ(views.chipNameBox, ctx.chip.name);
    for (int view : {ViewIndex(0, MemoryKind::Program), ViewIndex(1, MemoryKind::Program)})
        EXPECT_EQ(DocumentText(views.view[view].document), EmptyViewText(1024)) << view;
    for (int view : {ViewIndex(0, MemoryKind::Data), ViewIndex(1, MemoryKind::Data)})
        EXPECT_EQ(DocumentText(views.view[view].document), EmptyViewText(64)) << view;
    EXPECT_EQ(views.view[ViewIndex(1, MemoryKind::Data)].caret, 4u * 82 - 2) << "after a rebuild the caret is at the end";
    EXPECT_EQ(changed, (std::vector<int>{0, 1, 2, 3, -1}));
}

}  // namespace
}  // namespace quillon::test
