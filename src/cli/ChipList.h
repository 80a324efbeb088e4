// The supported chips as quillon-cli lists them: one row per chip of the chip table, with the
// facts a user picks a chip by, and their plain-text form (the README shows the same text).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quillon::cli {

struct ChipListRow {
    std::string_view name;
    std::string signature;     // "1E 95 0F": bytes 0, 1 and 2 as the datasheets write them
    std::uint32_t flash = 0;   // bytes
    std::uint32_t eeprom = 0;  // bytes
    std::uint32_t page = 0;    // flash page in bytes; 0 when the chip is written word by word or byte by byte
    std::string_view mode;     // "parallel" (high-voltage parallel) or "serial" (SPI)
};

// In Chip Select order.
std::vector<ChipListRow> ChipListRows();

// A header line, then one chip a line in aligned columns.
std::string ChipListText(std::span<const ChipListRow> rows);

}  // namespace quillon::cli
