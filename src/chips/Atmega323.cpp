// ATmega323: built-in entry, one PAGEL pulse per word, EEPROM byte by byte, three lock and fuse
// bytes.
#include "chips/PagedFamily.h"
#include "chips/Units.h"

namespace quillon {

namespace {

constexpr PagedUnit kUnit{
    .name = "Atmega323",
    .entry = PowerUp::BuiltIn,
    .eepromHigh = Reload::LowByteZero,
    .slots = 3,
};

}  // namespace

extern const Driver units::Atmega323 = MakePagedDriver<kUnit>();

}  // namespace quillon
