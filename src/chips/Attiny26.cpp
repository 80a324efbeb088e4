// ATtiny26: flash by 32-byte pages, EEPROM byte by byte, fuse low and high, four calibration
// bytes.
#include "chips/SerialFamily.h"
#include "chips/Units.h"

namespace quillon {

namespace {

constexpr SerialUnit kUnit{
    .name = "Attiny26",
    .flashAddress = {.highMask = 0x03},
    .pageLoad = {.highMask = 0x00, .lowMask = 0x0F},
    .pageSelect = {.highMask = 0x03, .lowMask = 0xF0},
    .eepromAddress = {.highMask = 0x00, .lowMask = 0x7F},
    .eepromWriteWait = 9,
    .slots = 3,
    .lockForced = 0xFC,
    .fuseHighForced = 0xE0,
};

}  // namespace

extern const Driver units::Attiny26 = MakeSerialDriver<kUnit>();

}  // namespace quillon
