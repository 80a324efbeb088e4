// AT90CAN32, AT90CAN64 and AT90CAN128: built-in entry logged in bytes, EEPROM pages with every
// byte latched by PAGEL (the page buffer holds only latched bytes), one calibration byte.
#include "chips/PagedFamily.h"
#include "chips/Units.h"

namespace quillon {

namespace {

constexpr PagedUnit kUnit{
    .name = "At90can32",
    .entry = PowerUp::BuiltIn,
    .entryTexts = &kHexEntryTexts,
    .flashReadHigh = Reload::EveryCall,
    .pageWrite = kWrPulse,
    .readLockText = " read Lock-byte",
    .fuseExtendedSelect = {Packet{SetPORTD(0x94)}, " set BS1=0, BS2=1"},
    .calibration = {.maxBytes = 1},
};

}  // namespace

extern const Driver units::At90can32 = MakePagedDriver<kUnit>();

}  // namespace quillon
