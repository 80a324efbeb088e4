// The catalogue of supported chips, keyed by signature, and the selection that copies an entry
// into the context's chip record (identity, sizes, blank images, factory lock and fuse bytes).
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace quillon {

struct Context;

struct CatalogueEntry {
    std::string_view name;
    std::int32_t signature = 0;  // byte 0 in bits 0-7, 1 in 8-15, 2 in 16-23
    std::uint32_t flashSize = 0;
    std::uint32_t eepromSize = 0;
    std::uint8_t lockFuseCount = 0;
    std::uint8_t calibrationCount = 0;
    std::array<std::uint8_t, 4> factoryLockFuse{};  // the first lockFuseCount bytes are used
    bool menuEnabled = true;  // the Chip Select menu item can be chosen
};

// All 50 entries in menu order (by signature).
std::span<const CatalogueEntry> Catalogue();

const CatalogueEntry* FindChip(std::int32_t signature);  // null when absent
const CatalogueEntry* FindChipByName(std::string_view name);

// Selects the entry with that signature: fills the record, blanks the images, calls
// ctx.refreshViews when set and logs "Selected chip is  <name>". 0 logs "No chip selected",
// an unknown signature "Selected chip is  unknown"; both leave everything as it was.
void SelectChip(Context& ctx, std::int32_t signature);

// 1: flash image all 0xFF; 2: EEPROM image all 0xFF; 3: lock/fuse bytes 0xFF, then the selected
// chip's factory values in the first slots; 4: calibration bytes 0xFF. Anything else: nothing.
void ResetImage(Context& ctx, int which);

}  // namespace quillon
