// AT90S4434 and AT90S8535: the first flash pulse logged in bytes.
#include "chips/ClassicFamily.h"
#include "chips/Units.h"

namespace quillon {

namespace {

constexpr ClassicUnit kUnit{
    .name = "At90s4434",
    .firstFlashPulseText = " 0x1D 0x03",
};

}  // namespace

extern const Driver units::At90s4434 = MakeClassicDriver<kUnit>();

}  // namespace quillon
