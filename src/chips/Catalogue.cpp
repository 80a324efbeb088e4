#include "chips/Catalogue.h"

#include <algorithm>

#include "chips/Chip.h"

namespace quillon {

void FillChipRecord(Chip& chip, const ChipRow& row)
{
    chip.name = std::string(row.name);
    chip.pictureFile = chip.name + ".jpg";
    chip.signature = row.signature;
    chip.flashSize = row.flashSize;
    chip.eepromSize = row.eepromSize;
    chip.lockFuseCount = row.lockFuseCount;
    chip.calibrationCount = row.calibrationCount;
}

void ResetImage(Chip& chip, int which)
{
    switch (which) {
    case 1: chip.flash.fill(0xFF); break;
    case 2: chip.eeprom.fill(0xFF); break;
    case 3:
        chip.lockFuse.fill(0xFF);
        chip.lockFuseOrigin = SlotsOrigin::Factory;
        if (const ChipRow* row = FindChip(chip.signature))
            std::copy_n(row->factoryLockFuse.begin(), row->lockFuseCount, chip.lockFuse.begin());
        break;
    case 4: chip.calibration.fill(0xFF); break;
    default: break;
    }
}

}  // namespace quillon
