// ATmega161: built-in entry, two PAGEL pulses per word, EEPROM byte by byte, one fuse byte and
// no calibration byte.
#include "chips/PagedFamily.h"
#include "chips/Units.h"

namespace quillon {

namespace {

constexpr PagedUnit kUnit{
    .name = "Atmega161",
    .entry = PowerUp::BuiltIn,
    .flashLatch = Latch::PagelTwice,
    .eepromHigh = Reload::LowByteZero,
    .slots = 2,
    .calibration = {.offered = false},
};

}  // namespace

extern const Driver units::Atmega161 = MakePagedDriver<kUnit>();

}  // namespace quillon
