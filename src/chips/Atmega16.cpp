// ATmega16 and ATmega32: the family's defaults with three lock and fuse bytes.
#include "chips/PagedFamily.h"
#include "chips/Units.h"

namespace quillon {

namespace {

constexpr PagedUnit kUnit{
    .name = "Atmega16",
    .slots = 3,
};

}  // namespace

extern const Driver units::Atmega16 = MakePagedDriver<kUnit>();

}  // namespace quillon
