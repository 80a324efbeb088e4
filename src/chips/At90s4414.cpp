// AT90S4414 and AT90S8515: the AT90S8515's 512 bytes of EEPROM need the high address byte.
#include "chips/ClassicFamily.h"
#include "chips/Units.h"

namespace quillon {

namespace {

constexpr ClassicUnit kUnit{
    .name = "At90s4414",
    .eepromHighByteChip = 0x01931E,  // AT90S8515
};

}  // namespace

extern const Driver units::At90s4414 = MakeClassicDriver<kUnit>();

}  // namespace quillon
