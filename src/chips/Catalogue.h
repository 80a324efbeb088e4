// Chip selection: copies a chip's row into the context's chip record (identity, sizes, blank
// images, factory lock and fuse bytes). The rows themselves are in chips/ChipTable.h.
#pragma once

#include <cstdint>

#include "chips/ChipTable.h"

namespace quillon {

struct Context;

// Selects the row with that signature: fills the record, blanks the images, calls
// ctx.refreshViews when set and logs "Selected chip is  <name>". 0 logs "No chip selected",
// an unknown signature "Selected chip is  unknown"; both leave everything as it was.
void SelectChip(Context& ctx, std::int32_t signature);

// 1: flash image all 0xFF; 2: EEPROM image all 0xFF; 3: lock/fuse bytes 0xFF, then the selected
// chip's factory values in the first slots; 4: calibration bytes 0xFF. Anything else: nothing.
void ResetImage(Context& ctx, int which);

}  // namespace quillon
