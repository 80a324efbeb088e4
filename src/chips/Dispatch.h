// The dispatch table: which driver unit serves a signature, and how the memory loops of the
// operations drive it (bytes per call, flash page size, EEPROM write kind, calibration read).
#pragma once

#include <cstdint>
#include <span>

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

struct DispatchEntry {
    std::int32_t signature = 0;
    const Driver* driver = nullptr;
    Family family = Family::Classic;
    std::uint32_t step = 2;  // flash bytes per read, verify or write call
    std::uint32_t page = 0;  // flash page in bytes; 0: the unit programs each word or byte itself
    EepromWrite eepromWrite = EepromWrite::Byte;
    // The unit whose EnterProgMode and ReadCalibration read the calibration bytes; null: none.
    const Driver* calibration = nullptr;
};

// Null for 0 and for every signature the table lacks.
const DispatchEntry* FindDispatch(std::int32_t signature);

std::span<const DispatchEntry> DispatchTable();

}  // namespace quillon
