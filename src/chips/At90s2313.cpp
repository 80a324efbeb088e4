// AT90S2313: the family's defaults but for the wording of the fuse and lock read.
#include "chips/ClassicFamily.h"
#include "chips/Units.h"

namespace quillon {

namespace {

constexpr ClassicUnit kUnit{
    .name = "At90s2313",
    .fuseLockReadText = " read fuse- & lock-bits",
};

}  // namespace

extern const Driver units::At90s2313 = MakeClassicDriver<kUnit>();

}  // namespace quillon
