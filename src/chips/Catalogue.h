// How a chip's row fills the chip record: identity, sizes, blank images, factory lock and fuse
// bytes. The rows themselves are in chips/ChipTable.h; selecting a chip is an operation.
#pragma once

#include <cstdint>

#include "chips/ChipTable.h"

namespace quillon {

struct Chip;

// Copies the row's name, picture, signature and sizes into the record; the images stay.
void FillChipRecord(Chip& chip, const ChipRow& row);

// 1: flash image all 0xFF; 2: EEPROM image all 0xFF; 3: lock/fuse bytes 0xFF, then the selected
// chip's factory values in the first slots; 4: calibration bytes 0xFF. Anything else: nothing.
void ResetImage(Chip& chip, int which);

}  // namespace quillon
