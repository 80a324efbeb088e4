// The table of supported chips, one row per chip: identity, memory sizes, factory lock and fuse
// bytes, the driver unit and how the memory loops drive it, its bit names and its menu item.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "chips/BitNames.h"
#include "chips/Driver.h"

namespace quillon {

enum class Family {
    Classic,  // parallel, word by word
    Paged,    // parallel, flash by pages
    Serial,   // SPI, byte by byte
};

enum class EepromWrite {
    Byte,   // WriteEepromByte for every address
    Page4,  // LoadEepromByte for every address, WriteEepromPage at every 4th (address + 1)
};

// The Chip Select submenu that shows the chip.
enum class MenuGroup {
    At90,  // "AT90..."
    Tiny,  // "AVR tiny"
    Mega,  // "AVR mega"
};

struct ChipRow {
    std::string_view name;
    std::int32_t signature = 0;  // byte 0 in bits 0-7, 1 in 8-15, 2 in 16-23
    std::uint32_t flashSize = 0;
    std::uint32_t eepromSize = 0;
    std::uint8_t lockFuseCount = 0;
    std::array<std::uint8_t, 4> factoryLockFuse{};  // the first lockFuseCount bytes are used
    std::uint8_t calibrationCount = 0;
    std::span<const SlotNames> bitNames;  // the used lock/fuse slots, slot 0 first

    const Driver* driver = nullptr;
    Family family = Family::Paged;
    std::uint32_t step = 2;  // flash bytes per read, verify or write call
    std::uint32_t page = 0;  // flash page in bytes; 0: the unit programs each word or byte itself
    EepromWrite eepromWrite = EepromWrite::Byte;
    std::uint32_t eepromPage = 0;  // EEPROM page in bytes; 0: every byte by its own pulse
    // The unit whose EnterProgMode and ReadCalibration read the calibration bytes; null: none.
    const Driver* calibration = nullptr;

    MenuGroup menuGroup = MenuGroup::Mega;
    bool menuEnabled = true;  // the Chip Select item can be chosen
};

// Every row, in Chip Select order.
std::span<const ChipRow> Catalogue();

const ChipRow* FindChip(std::int32_t signature);  // null for 0 and every signature the table lacks
const ChipRow* FindChipByName(std::string_view name);

}  // namespace quillon
