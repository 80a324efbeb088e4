// ATtiny261, ATtiny461 and ATtiny861: BS1 doubles as PAGEL and XA1 as BS2; a word or EEPROM
// byte is latched by raising BS1, and lowering it again goes with the page's WR pulse.
#include "chips/PagedFamily.h"
#include "chips/Units.h"

namespace quillon {

namespace {

constexpr PagedUnit kUnit{
    .name = "Attiny261",
    .flashLatch = Latch::None,
    .pageWrite = {Packet{SetPORTC(0x08), Pulse(GiveWRNegPulse)}, " set BS1=0, GiveWRNegPulse"},
    .eepromLatch = Latch::Bs1High,
    .eepromCommitSelect = Step{Packet{SetPORTC(0x08)}, " set BS1=0"},
    .readLockText = " set BS2(XA1)=0, BS1=1",
    .fuseHighRead = {0x1A, 0x10},
    .fuseExtendedRead = {0x18, 0x10},
    .fuseHighSelect = {Packet{SetPORTC(0x0A)}, " set BS1=1, BS2(XA1)=0"},
    .fuseExtendedSelect = {Packet{SetPORTC(0x18)}, " set BS2(XA1)=1, BS1=0"},
};

}  // namespace

extern const Driver units::Attiny261 = MakePagedDriver<kUnit>();

}  // namespace quillon
