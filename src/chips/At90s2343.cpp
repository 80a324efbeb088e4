// AT90S2343: byte-wise flash and EEPROM, one fuse bit (RCEN) written by its own instruction
// 1010 1100 1011 111R; fuse and lock bits read together.
#include "chips/SerialFamily.h"
#include "chips/Units.h"

namespace quillon {

namespace {

constexpr SerialUnit kUnit{
    .name = "At90s2343",
    .enterText = " execute Programming Enable",
    .eraseWait = 18,
    .flashAddress = {.highMask = 0x03},
    .flashWriteWait = 9,
    .eepromAddress = {.highMask = 0x00, .lowMask = 0x7F},
    .eepromWriteWait = 9,
    .slots = 2,
    .lock = SerialLock::WithFuse,
    .fuseLow = SerialFuse::StartBitInI2,
    .fuseLowWriteWhat = " write fuse byte",
    .calibration = false,
};

}  // namespace

extern const Driver units::At90s2343 = MakeSerialDriver<kUnit>();

}  // namespace quillon
