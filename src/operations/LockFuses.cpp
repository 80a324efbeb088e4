#include "operations/LockFuses.h"

#include <algorithm>

#include "chips/BitNames.h"
#include "chips/ChipTable.h"
#include "core/Context.h"
#include "images/ProgressGuard.h"
#include "operations/CommandFrame.h"

namespace quillon {

namespace {

std::size_t UsedSlots(const Chip& chip)
{
    return std::min<std::size_t>(chip.lockFuseCount, 4);
}

void UncheckAll(LockFusesDialog& dialog)
{
    for (auto& group : dialog.group)
        for (auto& box : group.box) box.checked = false;
}

}  // namespace

FuseBox* LockFusesDialog::CheckBox(int number)
{
    if (number < 1 || number > 32) return nullptr;
    int index = number - 1;
    return &group[static_cast<std::size_t>(index / 8)].box[static_cast<std::size_t>(index % 8)];
}

bool LockFusesDialog::Click(int slot, int bit)
{
    if (slot < 0 || slot > 3 || bit < 0 || bit > 7) return false;
    FuseGroup& g = group[static_cast<std::size_t>(slot)];
    FuseBox& box = g.box[static_cast<std::size_t>(bit)];
    if (!panelVisible || !g.visible || !box.visible || !box.enabled) return false;
    box.checked = !box.checked;
    return true;
}

void ResetDialog(LockFusesDialog& dialog)
{
    dialog.panelVisible = false;
    for (auto& group : dialog.group) {
        group.visible = false;
        for (auto& box : group.box) {
            box.visible = false;
            box.checked = false;
            box.enabled = true;
        }
    }
}

void ApplyBitNames(LockFusesDialog& dialog, std::int32_t signature)
{
    if (signature == 0) return;
    std::span<const SlotNames> slots = BitNamesFor(signature);
    for (std::size_t g = 0; g < slots.size() && g < dialog.group.size(); ++g) {
        FuseGroup& group = dialog.group[g];
        group.caption = std::string(slots[g].caption);
        group.visible = true;
        for (std::size_t b = 0; b < 8; ++b) {
            if (slots[g].bit[b].empty()) continue;
            group.box[b].caption = std::string(slots[g].bit[b]);
            group.box[b].visible = true;
            if (slots[g].greyed & (1u << b)) group.box[b].enabled = false;
        }
    }
}

void FillBoxesFromRecord(LockFusesDialog& dialog, const Chip& chip)
{
    for (std::size_t g = 0; g < dialog.group.size(); ++g) {
        for (std::size_t b = 0; b < 8; ++b) {
            FuseBox& box = dialog.group[g].box[b];
            if (box.visible && (chip.lockFuse[g] & (1u << b)) == 0) box.checked = true;
        }
    }
}

void StoreBoxesToRecord(const LockFusesDialog& dialog, Chip& chip)
{
    if (chip.signature == 0) return;
    for (std::size_t g = 0; g < UsedSlots(chip); ++g) {
        std::uint8_t slot = 0xFF;
        for (std::size_t b = 0; b < 8; ++b) {
            const FuseBox& box = dialog.group[g].box[b];
            // Bits without a box are never programmed from here: they always go out as 1.
            if (box.visible && box.checked) slot &= static_cast<std::uint8_t>(~(1u << b));
        }
        chip.lockFuse[g] = slot;
    }
}

LockFusesDialog OpenLockFusesDialog(const Chip& chip)
{
    LockFusesDialog dialog;
    ResetDialog(dialog);
    ApplyBitNames(dialog, chip.signature);
    FillBoxesFromRecord(dialog, chip);
    dialog.panelVisible = true;
    return dialog;
}

bool ReadLockFuses(Context& ctx, LockFusesDialog& dialog)
{
    ProgressGuard progress(ctx.progress);
    bool ok = false;
    if (const ChipRow* entry = LookUpUnit(ctx)) {
        const Driver& d = *entry->driver;
        ok = d.EnterProgMode != nullptr && d.EnterProgMode(ctx);
        OperationList sequence = LockFuseReadSequence(d);
        for (auto op = sequence.begin(); ok && op != sequence.end(); ++op) ok = (*op)(ctx);
        ok = ok && ctx.link.ConfirmInStep();
        if (!ok) {
            // The boxes keep what they showed: half a read is not worth showing.
            ctx.log.LogMessage(LogFinished, " with fail.");
            return false;
        }
    }
    progress.Free();
    UncheckAll(dialog);
    FillBoxesFromRecord(dialog, ctx.chip);
    return ok;
}

bool WriteLockFuses(Context& ctx, LockFusesDialog& dialog)
{
    StoreBoxesToRecord(dialog, ctx.chip);
    ProgressGuard progress(ctx.progress);
    const ChipRow* entry = LookUpUnit(ctx);
    if (entry == nullptr) return false;
    const Driver& d = *entry->driver;
    bool ok = d.EnterProgMode != nullptr && d.EnterProgMode(ctx);
    OperationList sequence = LockFuseWriteSequence(d);
    for (auto op = sequence.begin(); ok && op != sequence.end(); ++op) ok = (*op)(ctx);
    if (!ok) ctx.log.LogMessage(LogFinished, " with fail.");
    return ok;
}

void SaveLockFuses(Context& ctx, const LockFusesDialog& dialog)
{
    StoreBoxesToRecord(dialog, ctx.chip);
}

}  // namespace quillon
