// ATmega603 and ATmega103: the long erase and fuse pulses of the older chips with no ready wait,
// two PAGEL pulses per word, EEPROM byte by byte, one fuse byte and no calibration byte.
#include "chips/PagedFamily.h"
#include "chips/Units.h"

namespace quillon {

namespace {

constexpr PagedUnit kUnit{
    .name = "Atmega603",
    .entry = PowerUp::BuiltIn,
    .erase = {.pulse = {Packet{Pulse(GiveWR100NegPulse)}, " GiveWR100NegPulse"}, .waitReady = false},
    .flashReadHigh = Reload::EveryCall,
    .flashLatch = Latch::PagelTwice,
    .pageWrite = kWrPulse,
    .eepromHigh = Reload::EveryCall,
    .slots = 2,
    .readLockText = " read Lock byte",
    .lockReadForced = 0xF9,
    .readFuseLowText = " read Fuse byte",
    .fuseLowPulse = {.pulse = {Packet{Pulse(GiveWR15NegPulse)}, " GiveWR15NegPulse"}, .waitReady = false},
    .calibration = {.offered = false},
};

}  // namespace

extern const Driver units::Atmega603 = MakePagedDriver<kUnit>();

}  // namespace quillon
