// AT90S1200: the first unit of the family, which names its entry steps in words.
#include "chips/ClassicFamily.h"
#include "chips/Units.h"

namespace quillon {

namespace {

constexpr ClassicUnit kUnit{
    .name = "At90s1200",
    .entryTexts = &kClassicNamedEntryTexts,
    .fuseLockReadText = " read fuse- & lock-bits",
};

}  // namespace

extern const Driver units::At90s1200 = MakeClassicDriver<kUnit>();

}  // namespace quillon
