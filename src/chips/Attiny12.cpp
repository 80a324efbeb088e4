// ATtiny12: byte-wise flash and EEPROM of 512 words and 64 bytes, a whole fuse byte, lock bits
// in I2; its erase programs one blank byte between two erases.
#include "chips/SerialFamily.h"
#include "chips/Units.h"

namespace quillon {

namespace {

constexpr SerialUnit kUnit{
    .name = "Attiny12",
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
    .blankFlashByte = true,
};

}  // namespace

extern const Driver units::Attiny12 = MakeSerialDriver<kUnit>();

}  // namespace quillon
