// AT90S2323: the first generation's instructions. Its one fuse bit, FSTRT, goes in bit 0 of the
// instruction 1010 1100 1011 111F, like the AT90S2343's RCEN; any other bits in that byte would
// make the instruction a chip erase.
#include "chips/SerialFamily.h"
#include "chips/Units.h"

namespace quillon {

namespace {

constexpr SerialUnit kUnit = serial::Derived(serial::kFirstGeneration, "At90s2323");

}  // namespace

extern const Driver units::At90s2323 = MakeSerialDriver<kUnit>();

}  // namespace quillon
