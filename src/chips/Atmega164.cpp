// ATmega164, ATmega324 and ATmega644: the page is programmed with WR and OE raised in the same
// packet; the ATmega644 has 8-byte EEPROM pages, the others 4.
#include "chips/PagedFamily.h"
#include "chips/Units.h"

namespace quillon {

namespace {

constexpr std::int32_t kAtmega644 = 0x0A961E;

constexpr PagedUnit kUnit{
    .name = "Atmega164",
    .pageWrite = {Packet{SetPORTC(0x08), SetPORTD(PD_WORK), Pulse(GiveWRNegPulse)}, " GiveWRNegPulse"},
    .eepromPageFor = [](const Target& target) -> std::uint32_t { return target.signature == kAtmega644 ? 8 : 4; },
    .eepromHigh = Reload::LowByteZero,
};

}  // namespace

extern const Driver units::Atmega164 = MakePagedDriver<kUnit>();

}  // namespace quillon
