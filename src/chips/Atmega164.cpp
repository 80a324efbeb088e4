// ATmega164, ATmega324, ATmega644 and ATmega1284 with their A and P versions: the page is
// programmed with WR and OE raised in the same packet.
#include "chips/PagedFamily.h"
#include "chips/Units.h"

namespace quillon {

namespace {

constexpr PagedUnit kUnit{
    .name = "Atmega164",
    .pageWrite = {Packet{SetPORTC(0x08), SetPORTD(PD_WORK), Pulse(GiveWRNegPulse)}, " GiveWRNegPulse"},
    .eepromHigh = Reload::LowByteZero,
};

}  // namespace

extern const Driver units::Atmega164 = MakePagedDriver<kUnit>();

}  // namespace quillon
