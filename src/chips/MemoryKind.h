// Which memory a view, a file or a transfer is about: program (flash) or data (EEPROM), and the
// part of the chip record's image that belongs to the selected chip.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>

#include "chips/Chip.h"

namespace quillon {

enum class MemoryKind : int { Program = 1, Data = 2 };

// The first size bytes of that kind's image; a size beyond the image is cut to the image.
inline std::span<std::uint8_t> ChipMemory(Chip& chip, MemoryKind kind)
{
    if (kind == MemoryKind::Program)
        return std::span(chip.flash).first(std::min<std::size_t>(chip.flashSize, chip.flash.size()));
    return std::span(chip.eeprom).first(std::min<std::size_t>(chip.eepromSize, chip.eeprom.size()));
}
inline std::span<const std::uint8_t> ChipMemory(const Chip& chip, MemoryKind kind)
{
    if (kind == MemoryKind::Program)
        return std::span(chip.flash).first(std::min<std::size_t>(chip.flashSize, chip.flash.size()));
    return std::span(chip.eeprom).first(std::min<std::size_t>(chip.eepromSize, chip.eeprom.size()));
}

}  // namespace quillon
