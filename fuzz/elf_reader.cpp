// Fuzz target of the ELF reader: any bytes must end in a load or a refusal without touching
// memory outside the two images, and a refusal must leave both images as they were.
#include <array>
#include <cstddef>
#include <cstdint>

#include "images/ElfFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace quillon;
    std::array<std::uint8_t, 2048> flash{};
    std::array<std::uint8_t, 256> eeprom{};
    flash.fill(0xA5);
    eeprom.fill(0x5A);
    const ElfLoad load = ReadElf({data, size}, flash, eeprom);
    if (!load.error.empty()) {
        for (std::uint8_t b : flash)
            if (b != 0xA5) __builtin_trap();
        for (std::uint8_t b : eeprom)
            if (b != 0x5A) __builtin_trap();
    }
    for (const AddressRange& range : load.flash.covered)
        if (range.end > flash.size() || range.first >= range.end) __builtin_trap();
    return 0;
}
