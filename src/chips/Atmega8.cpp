// ATmega8: the family's defaults with three lock and fuse bytes (no extended fuse).
#include "chips/PagedFamily.h"
#include "chips/Units.h"

namespace quillon {

namespace {

constexpr PagedUnit kUnit{
    .name = "Atmega8",
    .slots = 3,
};

}  // namespace

extern const Driver units::Atmega8 = MakePagedDriver<kUnit>();

}  // namespace quillon
