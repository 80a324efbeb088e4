// ATmega8515 and ATmega8535: the family's defaults with three lock and fuse bytes.
#include "chips/PagedFamily.h"
#include "chips/Units.h"

namespace quillon {

namespace {

constexpr PagedUnit kUnit{
    .name = "Atmega8515",
    .slots = 3,
};

}  // namespace

extern const Driver units::Atmega8515 = MakePagedDriver<kUnit>();

}  // namespace quillon
