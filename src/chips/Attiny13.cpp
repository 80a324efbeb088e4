// ATtiny13: flash by 32-byte pages, EEPROM by 4-byte pages, fuse low and high, lock bits in
// bits 0 and 1 of I4.
#include "chips/SerialFamily.h"
#include "chips/Units.h"

namespace quillon {

namespace {

constexpr SerialUnit kUnit{
    .name = "Attiny13",
    .flashAddress = {.highMask = 0x01},
    .pageLoad = {.highMask = 0x00, .lowMask = 0x0F},
    .pageSelect = {.highMask = 0x01, .lowMask = 0xF0},
    .eepromAddress = {.highMask = 0x00, .lowMask = 0x3F},
    .slots = 3,
    .lockForced = 0xFC,
    .fuseHighForced = 0xE0,
};

}  // namespace

extern const Driver units::Attiny13 = MakeSerialDriver<kUnit>();

}  // namespace quillon
