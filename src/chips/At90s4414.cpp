// AT90S4414 and AT90S8515: the family's defaults.
#include "chips/ClassicFamily.h"
#include "chips/Units.h"

namespace quillon {

namespace {

constexpr ClassicUnit kUnit{
    .name = "At90s4414",
};

}  // namespace

extern const Driver units::At90s4414 = MakeClassicDriver<kUnit>();

}  // namespace quillon
