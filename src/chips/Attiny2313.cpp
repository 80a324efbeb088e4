// ATtiny2313 and ATtiny4313: built-in entry; BS1 doubles as PAGEL and XA1 as BS2, so a flash
// word is latched by the high byte's load itself. An EEPROM byte has no such load: raising BS1
// latches it, as on the ATtiny261, and BS1 goes low again before the page's WR pulse. All four
// lock and fuse bytes are read in one pass.
#include "chips/PagedFamily.h"
#include "chips/Units.h"

namespace quillon {

namespace {

constexpr PagedUnit kUnit{
    .name = "Attiny2313",
    .entry = PowerUp::BuiltIn,
    .flashReadHigh = Reload::EveryCall,
    .flashLatch = Latch::None,
    .pageWrite = kWrPulse,
    .eepromLatch = Latch::Bs1High,
    .eepromCommitSelect = Step{Packet{SetPORTC(0x08)}, " set BS1=0"},
    .fuseLockInOnePass = true,
    .fuseHighSelect = {Packet{SetPORTC(0x0A)}, " set BS1=1, BS2(XA1)=0"},
    .fuseHighPulseText = " 0x1D 0x03",
    .fuseExtendedSelect = {Packet{SetPORTC(0x18)}, " set BS1=0, BS2(XA1)=1"},
    .calibration = {.select = Step{Packet{SetPORTC(0x0A)}, " set BS1=1, BS2(XA1)=0"},
                    .read = {Packet{SetDDRB(0x00), SetPORTD(0x10), ReadPINB(), SetPORTD(PD_WORK)},
                             " read Calibration Bytes"}},
};

}  // namespace

extern const Driver units::Attiny2313 = MakePagedDriver<kUnit>();

}  // namespace quillon
