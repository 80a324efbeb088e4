// ATtiny12: its erase needs one programmed flash byte between two erases.
#include "chips/SerialFamily.h"
#include "chips/Units.h"

namespace quillon {

namespace {

constexpr SerialUnit kUnit = serial::Derived(serial::kTiny12Generation, "Attiny12",
                                          [](SerialUnit& u) { u.blankFlashByte = true; });

}  // namespace

extern const Driver units::Attiny12 = MakeSerialDriver<kUnit>();

}  // namespace quillon
