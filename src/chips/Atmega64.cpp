// ATmega64 and ATmega128: the family's defaults with 8-byte EEPROM pages.
#include "chips/PagedFamily.h"
#include "chips/Units.h"

namespace quillon {

namespace {

constexpr PagedUnit kUnit{
    .name = "Atmega64",
    .eepromPage = 8,
};

}  // namespace

extern const Driver units::Atmega64 = MakePagedDriver<kUnit>();

}  // namespace quillon
