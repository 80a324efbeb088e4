// Linked AVR programs as the compiler writes them (ELF): the loadable sections go to the flash
// image at their load addresses, the EEPROM section to the EEPROM image, and the fuse and lock
// bytes are handed back for the user to review; they are never written from here.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "images/MemoryLoad.h"

namespace quillon {

// The compiler's address spaces above the flash: data memory, EEPROM, fuses, lock bits.
inline constexpr std::uint32_t kElfRamBase = 0x800000;
inline constexpr std::uint32_t kElfEepromBase = 0x810000;
inline constexpr std::uint32_t kElfFuseBase = 0x820000;
inline constexpr std::uint32_t kElfLockBase = 0x830000;
inline constexpr std::uint32_t kElfSignatureBase = 0x840000;

struct ElfLoad {
    std::string error;  // empty when the file was read; otherwise why, and nothing was stored
    MemoryLoad flash;
    MemoryLoad eeprom;
    std::vector<std::uint8_t> fuses;  // low, high, extended: as many as the file holds
    std::optional<std::uint8_t> lock;
    bool HasEeprom() const { return eeprom.loadedBytes + eeprom.droppedBytes > 0; }
    bool HasFuses() const { return !fuses.empty() || lock.has_value(); }
};

// Reads the ELF file's bytes and stores its program into `flash` and its EEPROM data into
// `eeprom` (either may be empty to leave that memory alone, and its load then counts nothing);
// bytes not covered keep their values. A file that is not a linked AVR program, or is cut short, stores nothing.
ElfLoad ReadElf(std::span<const std::uint8_t> file, std::span<std::uint8_t> flash,
                std::span<std::uint8_t> eeprom);

}  // namespace quillon
