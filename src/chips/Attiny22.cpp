// ATtiny22: the first generation's instructions; its calibration byte is not read.
#include "chips/SerialFamily.h"
#include "chips/Units.h"

namespace quillon {

namespace {

constexpr SerialUnit kUnit = serial::Derived(serial::kFirstGeneration, "Attiny22");

}  // namespace

extern const Driver units::Attiny22 = MakeSerialDriver<kUnit>();

}  // namespace quillon
