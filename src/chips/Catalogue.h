// The catalogue of supported chips, keyed by signature, and how an entry fills the chip record
// (identity, sizes, blank images, factory lock and fuse bytes).
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace quillon {

struct Chip;

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

// Copies the entry's name, picture, signature and sizes into the record; the images stay.
void FillChipRecord(Chip& chip, const CatalogueEntry& entry);

// 1: flash image all 0xFF; 2: EEPROM image all 0xFF; 3: lock/fuse bytes 0xFF, then the selected
// chip's factory values in the first slots; 4: calibration bytes 0xFF. Anything else: nothing.
void ResetImage(Chip& chip, int which);

}  // namespace quillon
