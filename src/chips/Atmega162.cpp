// ATmega162: the family's defaults; its calibration byte is read through the Atmega163 unit.
#include "chips/PagedFamily.h"
#include "chips/Units.h"

namespace quillon {

namespace {

constexpr PagedUnit kUnit{
    .name = "Atmega162",
    .calibration = {.offered = false},
};

}  // namespace

extern const Driver units::Atmega162 = MakePagedDriver<kUnit>();

}  // namespace quillon
