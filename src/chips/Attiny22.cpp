// ATtiny22: the AT90S2343's instruction set; its calibration byte is not read.
#include "chips/SerialFamily.h"
#include "chips/Units.h"

namespace quillon {

namespace {

constexpr SerialUnit kUnit{
    .name = "Attiny22",
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

extern const Driver units::Attiny22 = MakeSerialDriver<kUnit>();

}  // namespace quillon
