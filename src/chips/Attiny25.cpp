// ATtiny25, ATtiny45, ATtiny85 and the 14-pin ATtiny24, ATtiny44, ATtiny84: the family's fullest
// member: full addresses, flash and EEPROM pages, three fuse bytes and the lock byte as the chip
// gives it.
#include "chips/SerialFamily.h"
#include "chips/Units.h"

namespace quillon {

namespace {

constexpr SerialUnit kUnit{
    .name = "Attiny25",
};

}  // namespace

extern const Driver units::Attiny25 = MakeSerialDriver<kUnit>();

}  // namespace quillon
