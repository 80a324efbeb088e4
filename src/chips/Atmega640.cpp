// ATmega640, ATmega1280, ATmega1281, ATmega2560 and ATmega2561: the extended address byte on the
// chips above 128 KiB, WR and OE raised with the page's pulse.
#include "chips/PagedFamily.h"
#include "chips/Units.h"

namespace quillon {

namespace {

constexpr PagedUnit kUnit{
    .name = "Atmega640",
    .extendedAddress = true,
    .pageWrite = {Packet{SetPORTC(0x08), SetPORTD(PD_WORK), Pulse(GiveWRNegPulse)}, " GiveWRNegPulse"},
};

}  // namespace

extern const Driver units::Atmega640 = MakePagedDriver<kUnit>();

}  // namespace quillon
