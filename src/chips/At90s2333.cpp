// AT90S2333 and AT90S4433: fuse and lock bits come as two bytes (BS1 low, then high), and the
// fuse write logs only its result.
#include "chips/ClassicFamily.h"
#include "chips/Units.h"

namespace quillon {

namespace {

constexpr ClassicUnit kUnit{
    .name = "At90s2333",
    .firstFlashPulseText = " 0x1D 0x03",
    .fuseLockRead = FuseLockRead::FuseThenLock,
    .writeFuseOpening = "",
};

}  // namespace

extern const Driver units::At90s2333 = MakeClassicDriver<kUnit>();

}  // namespace quillon
