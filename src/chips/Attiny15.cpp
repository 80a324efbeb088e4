// ATtiny15: as the ATtiny12's instructions, but the fuse byte has no bits 2 and 3; they are
// read and written as 1 so the other six pass unchanged.
#include "chips/SerialFamily.h"
#include "chips/Units.h"

namespace quillon {

namespace {

constexpr SerialUnit kUnit{
    .name = "Attiny15",
    .flashAddress = {.highMask = 0x01},
    .flashWriteWait = 4,
    .eepromAddress = {.highMask = 0x00, .lowMask = 0x3F},
    .eepromWriteWait = 7,
    .slots = 2,
    .lock = SerialLock::InI2,
    .lockForced = 0xF9,
    .fuseLowReadWhat = " read fuse byte",
    .fuseLowWriteWhat = " write fuse byte",
    .fuseLowWriteText = " 0x44 Fuse 0x00 0xA0 0xAC",
    .fuseLowForced = 0x0C,
};

}  // namespace

extern const Driver units::Attiny15 = MakeSerialDriver<kUnit>();

}  // namespace quillon
