// ATmega163: built-in entry, two PAGEL pulses per word, EEPROM byte by byte, three lock and fuse
// bytes.
#include "chips/PagedFamily.h"
#include "chips/Units.h"

namespace quillon {

namespace {

constexpr PagedUnit kUnit{
    .name = "Atmega163",
    .entry = PowerUp::BuiltIn,
    .flashLatch = Latch::PagelTwice,
    .eepromHigh = Reload::LowByteZero,
    .slots = 3,
};

}  // namespace

extern const Driver units::Atmega163 = MakePagedDriver<kUnit>();

}  // namespace quillon
