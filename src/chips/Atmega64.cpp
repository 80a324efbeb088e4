// ATmega64 and ATmega128: the family's defaults.
#include "chips/PagedFamily.h"
#include "chips/Units.h"

namespace quillon {

namespace {

constexpr PagedUnit kUnit{
    .name = "Atmega64",
};

}  // namespace

extern const Driver units::Atmega64 = MakePagedDriver<kUnit>();

}  // namespace quillon
