// ATtiny15: its fuse byte has no bits 2 and 3; they are read and written as 1 so that the six
// fuse bits pass unchanged both ways.
#include "chips/SerialFamily.h"
#include "chips/Units.h"

namespace quillon {

namespace {

constexpr SerialUnit kUnit = serial::Derived(serial::kTiny12Generation, "Attiny15",
                                          [](SerialUnit& u) { u.fuseLowForced = 0x0C; });

}  // namespace

extern const Driver units::Attiny15 = MakeSerialDriver<kUnit>();

}  // namespace quillon
