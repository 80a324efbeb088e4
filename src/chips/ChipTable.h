// The table of supported chips, one row per chip: identity, memory sizes, factory lock and fuse
// bytes, the driver unit and its pages, its bit names; the rest follows from the family.
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

// A row says what differs from chip to chip; what follows from the family (the flash step, how
// the EEPROM is written, whether the menu offers the chip, its submenu) is derived, so a row
// cannot contradict it.
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
    std::uint32_t page = 0;  // flash page in bytes; 0: the unit programs each word or byte itself
    std::uint32_t eepromPage = 0;  // EEPROM page in bytes; 0: every byte by its own pulse
    // The chip's own unit reads its calibration bytes, unless the row names another here...
    const Driver* calibrationBy = nullptr;
    // ...or says they are not read at all (the record still shows their count).
    bool calibrationUnread = false;

    // Flash bytes per read, verify or write call: a word on the parallel chips, a byte on the serial.
    constexpr std::uint32_t FlashStep() const { return family == Family::Serial ? 1 : 2; }

    // The serial chips with an EEPROM page load its bytes and commit it; every other unit is
    // handed byte by byte (the parallel paged ones gather their pages themselves).
    constexpr EepromWrite EepromWrites() const
    {
        return family == Family::Serial && eepromPage != 0 ? EepromWrite::Page4 : EepromWrite::Byte;
    }

    constexpr MenuGroup Group() const
    {
        if (name.starts_with("ATtiny")) return MenuGroup::Tiny;
        if (name.starts_with("ATmega")) return MenuGroup::Mega;
        return MenuGroup::At90;
    }

    // The unit whose EnterProgMode and ReadCalibration read the calibration bytes; null: none.
    constexpr const Driver* CalibrationUnit() const
    {
        if (calibrationCount == 0 || calibrationUnread) return nullptr;
        return calibrationBy != nullptr ? calibrationBy : driver;
    }
};

// What the chip's unit is told of it: its sizes and its EEPROM page.
constexpr Target TargetOf(const ChipRow& row)
{
    return {.signature = row.signature, .flashSize = row.flashSize, .eepromSize = row.eepromSize,
            .eepromPage = row.eepromPage};
}

// The same for the selected chip, from its row; a chip the table lacks has no EEPROM page.
Target TargetOf(const Chip& chip);

// Every row, in Chip Select order.
std::span<const ChipRow> Catalogue();

const ChipRow* FindChip(std::int32_t signature);  // null for 0 and every signature the table lacks
const ChipRow* FindChipByName(std::string_view name);

}  // namespace quillon
