#include "cli/ChipList.h"

#include <cstdio>

#include "chips/ChipTable.h"

namespace quillon::cli {

namespace {

std::string SignatureText(std::int32_t signature)
{
    char text[9];
    std::snprintf(text, sizeof text, "%02X %02X %02X", signature & 0xFF, (signature >> 8) & 0xFF,
                  (signature >> 16) & 0xFF);
    return text;
}

std::string Line(std::string_view name, std::string_view signature, std::string_view flash, std::string_view eeprom,
                 std::string_view page, std::string_view mode)
{
    char line[128];
    std::snprintf(line, sizeof line, "%-12.*s %-9.*s %6.*s %6.*s %4.*s  %.*s\n", static_cast<int>(name.size()),
                  name.data(), static_cast<int>(signature.size()), signature.data(), static_cast<int>(flash.size()),
                  flash.data(), static_cast<int>(eeprom.size()), eeprom.data(), static_cast<int>(page.size()),
                  page.data(), static_cast<int>(mode.size()), mode.data());
    return line;
}

}  // namespace

std::vector<ChipListRow> ChipListRows()
{
    std::vector<ChipListRow> rows;
    for (const ChipRow& chip : Catalogue()) {
        rows.push_back({.name = chip.name,
                        .signature = SignatureText(chip.signature),
                        .flash = chip.flashSize,
                        .eeprom = chip.eepromSize,
                        .page = chip.page,
                        .mode = chip.family == Family::Serial ? "serial" : "parallel"});
    }
    return rows;
}

std::string ChipListText(std::span<const ChipListRow> rows)
{
    std::string text = Line("chip", "signature", "flash", "EEPROM", "page", "mode");
    for (const ChipListRow& row : rows)
        text += Line(row.name, row.signature, std::to_string(row.flash), std::to_string(row.eeprom),
                     row.page == 0 ? "-" : std::to_string(row.page), row.mode);
    return text;
}

}  // namespace quillon::cli
