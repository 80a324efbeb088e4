// The Lock & Fuses dialog's boxes against the chip record's slots, without a gateway.
#include <gtest/gtest.h>

#include "chips/Catalogue.h"
#include "operations/ChipSelection.h"
#include "operations/Session.h"
#include "operations/LockFuses.h"

namespace quillon {
namespace {

std::int32_t Signature(const char* name)
{
    const ChipRow* entry = FindChipByName(name);
    EXPECT_NE(entry, nullptr) << name;
    return entry ? entry->signature : 0;
}

// The captions of the checked boxes of one group, bit 0 first.
std::vector<std::string> Checked(const LockFusesDialog& d, int slot)
{
    std::vector<std::string> names;
    for (const FuseBox& box : d.group[static_cast<std::size_t>(slot)].box)
        if (box.checked) names.push_back(box.caption);
    return names;
}

using Names = std::vector<std::string>;

TEST(LockFusesModel, BoxesShowTheSlotsOfTheRecord)
{
    struct Case {
        const char* chip;
        int slot;
        std::uint8_t value;  // 0 = leave the factory value
        const char* caption;
        Names checked;
    };
    const Case cases[] = {
        // A chip selected and never read shows its factory bytes: E1 for the ATmega8.
        {"ATmega8", 0, 0, "Low Fuses", {"CKSEL1", "CKSEL2", "CKSEL3", "SUT0"}},
        {"ATmega16", 2, 0xFB, "Lock bits", {"BLB01"}},
        {"ATmega48", 2, 0x01, "Extended Fuses", {}},
        {"AT90S1200", 0, 0, "Fuse Bits", {"SPIEN"}},  // DF
    };
    for (const auto& c : cases) {
        Session ctx;
        SelectChip(ctx, Signature(c.chip));
        if (c.value) ctx.chip.lockFuse[static_cast<std::size_t>(c.slot)] = c.value;
        LockFusesDialog d = OpenLockFusesDialog(ctx.chip);
        EXPECT_TRUE(d.panelVisible);
        EXPECT_TRUE(d.group[static_cast<std::size_t>(c.slot)].visible) << c.chip;
        EXPECT_EQ(d.group[static_cast<std::size_t>(c.slot)].caption, c.caption) << c.chip;
        EXPECT_EQ(Checked(d, c.slot), c.checked) << c.chip;
    }
}

TEST(LockFusesModel, TheATmega8GroupsAndBoxNumbers)
{
    Session ctx;
    SelectChip(ctx, Signature("ATmega8"));
    LockFusesDialog d = OpenLockFusesDialog(ctx.chip);
    EXPECT_EQ(d.group[0].caption, "Low Fuses");
    EXPECT_EQ(d.group[1].caption, "High Fuses");
    EXPECT_EQ(d.group[2].caption, "Lock bits");
    EXPECT_FALSE(d.group[3].visible);  // three slots only
    // CheckBox number 8g + b + 1 is bit b of slot g.
    EXPECT_EQ(d.CheckBox(1), &d.group[0].box[0]);
    EXPECT_EQ(d.CheckBox(8), &d.group[0].box[7]);
    EXPECT_EQ(d.CheckBox(9), &d.group[1].box[0]);
    EXPECT_EQ(d.CheckBox(32), &d.group[3].box[7]);
    EXPECT_EQ(d.CheckBox(0), nullptr);
    EXPECT_EQ(d.CheckBox(33), nullptr);
    EXPECT_EQ(d.CheckBox(1)->caption, "CKSEL0");
    EXPECT_FALSE(d.CheckBox(1)->checked);
    EXPECT_TRUE(d.CheckBox(2)->checked);
}

TEST(LockFusesModel, StoringWritesHiddenBitsAsOneAndKeepsUnusedSlots)
{
    Session ctx;
    SelectChip(ctx, Signature("ATmega48"));
    ctx.chip.lockFuse[2] = 0x01;  // SELFPRGEN unprogrammed, hidden bits 1..7 programmed
    ctx.chip.lockFuse[5] = 0x12;  // beyond the four slots the chip uses
    LockFusesDialog d = OpenLockFusesDialog(ctx.chip);
    SaveLockFuses(ctx, d);
    EXPECT_EQ(ctx.chip.lockFuse[2], 0xFF);
    EXPECT_EQ(ctx.chip.lockFuse[5], 0x12);
    EXPECT_EQ(ctx.chip.lockFuse[0], 0x62);  // factory low fuse round-trips through its boxes
}

TEST(LockFusesModel, AGreyedBoxCannotBeToggledAndKeepsItsValue)
{
    Session ctx;
    SelectChip(ctx, Signature("ATmega169"));
    for (std::uint8_t value : {std::uint8_t{0xFE}, std::uint8_t{0xFF}}) {
        ctx.chip.lockFuse[2] = value;
        LockFusesDialog d = OpenLockFusesDialog(ctx.chip);
        FuseBox& reserved = d.group[2].box[0];
        EXPECT_EQ(reserved.caption, "RESERVED");
        EXPECT_TRUE(reserved.visible);
        EXPECT_FALSE(reserved.enabled);
        EXPECT_FALSE(d.Click(2, 0));
        EXPECT_EQ(reserved.checked, value == 0xFE);
        SaveLockFuses(ctx, d);
        EXPECT_EQ(ctx.chip.lockFuse[2] & 1, value & 1);
    }
}

TEST(LockFusesModel, ClicksToggleOnlyVisibleEnabledBoxes)
{
    Session ctx;
    SelectChip(ctx, Signature("ATmega8"));
    LockFusesDialog d = OpenLockFusesDialog(ctx.chip);
    EXPECT_TRUE(d.Click(0, 0));     // CKSEL0 programmed
    EXPECT_FALSE(d.Click(3, 0));    // no fourth slot
    EXPECT_FALSE(d.Click(2, 7));    // a hidden lock bit
    EXPECT_FALSE(d.Click(0, 8));
    SaveLockFuses(ctx, d);
    EXPECT_EQ(ctx.chip.lockFuse[0], 0xE0);
}

TEST(LockFusesModel, NoChipShowsOnlyTheButtonsAndStoresNothing)
{
    Session ctx;
    ctx.chip.lockFuse[0] = 0x12;
    LockFusesDialog d = OpenLockFusesDialog(ctx.chip);
    for (const auto& g : d.group) {
        EXPECT_FALSE(g.visible);
        for (const auto& b : g.box) EXPECT_FALSE(b.visible || b.checked);
    }
    SaveLockFuses(ctx, d);
    EXPECT_EQ(ctx.chip.lockFuse[0], 0x12);
}

}  // namespace
}  // namespace quillon
