#include "chips/Catalogue.h"

#include <algorithm>

#include "chips/ChipTable.h"
#include "core/Context.h"
#include "log/Log.h"

namespace quillon {

void SelectChip(Context& ctx, std::int32_t signature)
{
    if (signature == 0) {
        ctx.log.LogMessage(LogNoChip, "");
        return;
    }
    const ChipRow* entry = FindChip(signature);
    if (!entry) {
        ctx.log.LogMessage(LogSelectedChip, " unknown");
        return;
    }
    Chip& chip = ctx.chip;
    chip.name = std::string(entry->name);
    chip.pictureFile = chip.name + ".jpg";
    chip.signature = entry->signature;
    chip.flashSize = entry->flashSize;
    chip.eepromSize = entry->eepromSize;
    chip.lockFuseCount = entry->lockFuseCount;
    chip.calibrationCount = entry->calibrationCount;
    if (ctx.refreshViews) ctx.refreshViews(ctx);
    ctx.log.LogMessage(LogSelectedChip, " " + chip.name);
    for (int which = 1; which <= 4; ++which) ResetImage(ctx, which);
}

void ResetImage(Context& ctx, int which)
{
    Chip& chip = ctx.chip;
    switch (which) {
    case 1: chip.flash.fill(0xFF); break;
    case 2: chip.eeprom.fill(0xFF); break;
    case 3:
        chip.lockFuse.fill(0xFF);
        if (const ChipRow* entry = FindChip(chip.signature))
            std::copy_n(entry->factoryLockFuse.begin(), entry->lockFuseCount, chip.lockFuse.begin());
        break;
    case 4: chip.calibration.fill(0xFF); break;
    default: break;
    }
}

}  // namespace quillon
