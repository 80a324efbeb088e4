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

void ResetImage(Chip& chip, ImagePart part)
{
    switch (part) {
    case ImagePart::Flash: chip.flash.fill(0xFF); break;
    case ImagePart::Eeprom: chip.eeprom.fill(0xFF); break;
    case ImagePart::LockFuse:
        chip.lockFuse.fill(0xFF);
        chip.lockFuseOrigin = SlotsOrigin::Factory;
        if (const ChipRow* row = FindChip(chip.signature))
            std::copy_n(row->factoryLockFuse.begin(), row->lockFuseCount, chip.lockFuse.begin());
        break;
    case ImagePart::Calibration: chip.calibration.fill(0xFF); break;
    }
}

void ResetImages(Chip& chip)
{
    for (ImagePart part : {ImagePart::Flash, ImagePart::Eeprom, ImagePart::LockFuse, ImagePart::Calibration})
        ResetImage(chip, part);
}

}  // namespace quillon
