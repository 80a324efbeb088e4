// ATmega169: the family's defaults.
#include "chips/PagedFamily.h"
#include "chips/Units.h"

namespace quillon {

namespace {

constexpr PagedUnit kUnit{
    .name = "Atmega169",
};

}  // namespace

extern const Driver units::Atmega169 = MakePagedDriver<kUnit>();

}  // namespace quillon
