// How a chip's row fills the chip record: identity, sizes, blank images, factory lock and fuse
// bytes. The rows themselves are in chips/ChipTable.h; selecting a chip is an operation.
#pragma once

#include <cstdint>

#include "chips/ChipTable.h"

namespace quillon {

struct Chip;

// Copies the row's name, picture, signature and sizes into the record; the images stay.
void FillChipRecord(Chip& chip, const ChipRow& row);

// The parts of the record a selection or a new file resets.
enum class ImagePart {
    Flash,        // the flash image all 0xFF
    Eeprom,       // the EEPROM image all 0xFF
    LockFuse,     // lock/fuse bytes 0xFF, then the selected chip's factory values in the first slots
    Calibration,  // the calibration bytes 0xFF
};

void ResetImage(Chip& chip, ImagePart part);

// Every part, as selecting a chip leaves the record.
void ResetImages(Chip& chip);

}  // namespace quillon
