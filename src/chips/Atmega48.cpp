// ATmega48, ATmega88, ATmega168 and ATmega328 with their P versions: built-in entry, the high
// address byte with every read word.
#include "chips/PagedFamily.h"
#include "chips/Units.h"

namespace quillon {

namespace {

constexpr PagedUnit kUnit{
    .name = "Atmega48",
    .entry = PowerUp::BuiltIn,
    .flashReadHigh = Reload::EveryCall,
    .fuseExtendedSelect = {Packet{SetPORTD(0x94)}, " set BS2=1, BS1=0"},
};

}  // namespace

extern const Driver units::Atmega48 = MakePagedDriver<kUnit>();

}  // namespace quillon
