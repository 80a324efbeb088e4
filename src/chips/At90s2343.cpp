// AT90S2343: the first generation's instructions; its one fuse bit is RCEN.
#include "chips/SerialFamily.h"
#include "chips/Units.h"

namespace quillon {

namespace {

constexpr SerialUnit kUnit = serial::Derived(serial::kFirstGeneration, "At90s2343");

}  // namespace

extern const Driver units::At90s2343 = MakeSerialDriver<kUnit>();

}  // namespace quillon
