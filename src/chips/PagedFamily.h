// The paged parallel family: ATmega, ATtiny2313/261 and AT90CAN chips programmed in high-voltage
// parallel mode with a flash page buffer. The algorithm is written once; a unit describes only
// where its chips differ, and MakePagedDriver binds that description to the operation table.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "chips/Chip.h"
#include "chips/Driver.h"
#include "chips/Steps.h"
#include "programming/Parallel.h"

namespace quillon {

// The family's own wording of the entry steps.
inline constexpr EntryTexts kPagedEntryTexts{
    .bus = " set DDRB=0, PORTB=0",
    .portC = " set DDRC=0x32, PORTC=0x0",
    .portD = " set DDRD=0xFC, PORTD=0x0",
    .powerUp = " EnterHVPProgMode_AVR",
    .plus5V = " enable +5V",
    .xtalPulse = " GiveXTALPosPulse",
    .plus12V = " enable +12V",
    .work = " set WR=1, OE=1",
};

inline constexpr Step kWrPulse{Packet{Pulse(GiveWRNegPulse)}, " GiveWRNegPulse"};
inline constexpr Step kPagelPulse{Packet{Pulse(GivePagelPosPulse)}, " GivePagelPosPulse"};

// A programming pulse and whether the chip's RDY/BSY is polled after it (and the delay value).
struct ProgramPulse {
    Step pulse = kWrPulse;
    bool waitReady = true;
};

// When a higher address byte is loaded again.
enum class Reload {
    EveryCall,      // before every word or byte
    LowByteZero,    // when the low address byte is 0 (every 256 words or bytes)
    PageStart,      // at the first byte of every EEPROM page
};

// How a loaded word or byte reaches the page buffer.
enum class Latch {
    None,           // nothing: the BS1/PAGEL line of the small chips moves with the loads
    Pagel,          // a PAGEL pulse after the high data byte (flash) or the data byte (EEPROM)
    PagelTwice,     // a PAGEL pulse after the low and again after the high data byte
    Bs1High,        // BS1 (which is PAGEL on the small chips) raised, then the delay value
};

// The byte a selector packet puts on the bus while OE is low: PORTC and PORTD values.
struct Selector {
    std::uint8_t portC;
    std::uint8_t portD;
};

struct PagedCalibration {
    bool offered = true;
    std::optional<Step> select = std::nullopt;  // a packet of its own before the read, where the unit has one
    Step read{Packet{SetPORTC(0x0A), SetDDRB(0x00), SetPORTD(0x10), ReadPINB(), SetPORTD(PD_WORK)},
              " read Calibration byte"};
    std::uint8_t maxBytes = 8;   // reads min(count, maxBytes) bytes
};

struct PagedUnit {
    std::string_view name{};

    PowerUp entry = PowerUp::Stepped;
    const EntryTexts* entryTexts = &kPagedEntryTexts;
    ProgramPulse erase{};

    // Flash.
    Reload flashReadHigh = Reload::LowByteZero;
    bool extendedAddress = false;  // loads the extended byte on chips above 128 KiB
    Latch flashLatch = Latch::Pagel;
    Step pageWrite{Packet{SetPORTC(0x08), Pulse(GiveWRNegPulse)}, " GiveWRNegPulse"};

    // EEPROM (its page size is the chip's, from the chip table).
    Reload eepromHigh = Reload::PageStart;
    Latch eepromLatch = Latch::Pagel;
    std::optional<Step> eepromCommitSelect = std::nullopt;  // a packet before the page's WR pulse

    // Lock and fuse bytes: how many slots the unit's chips use; the lock byte is the last.
    std::uint8_t slots = 4;
    bool fuseLockInOnePass = false;  // ReadFuseLockBits instead of the single reads
    std::string_view readLockText = " set BS2=0, BS1=1";
    std::uint8_t lockReadForced = 0x00;  // bits set in what ReadLockBits stores
    std::string_view readFuseLowText = " read Low Fuse byte";
    Selector fuseHighRead{0x0A, 0x90};
    Selector fuseExtendedRead{0x08, 0x90};
    ProgramPulse fuseLowPulse{};
    Step fuseHighSelect{Packet{SetPORTC(0x0A)}, " set BS1=1, BS2=0"};
    std::string_view fuseHighPulseText = " GiveWRNegPulse";
    Step fuseExtendedSelect{Packet{SetPORTD(0x94)}, " set BS2=1"};

    PagedCalibration calibration{};
};

namespace paged {

bool EnterProgMode(Context& ctx, const PagedUnit& unit);
bool EraseChip(Context& ctx, const PagedUnit& unit);
bool ReadFlashWord(Context& ctx, const PagedUnit& unit, std::int32_t pos, bool verify);
bool WriteFlashWord(Context& ctx, const PagedUnit& unit, std::int32_t pos);
bool WriteFlashPage(Context& ctx, const PagedUnit& unit, std::int32_t pos);
bool ReadEepromByte(Context& ctx, const PagedUnit& unit, std::int32_t pos, bool verify);
bool WriteEepromByte(Context& ctx, const PagedUnit& unit, std::int32_t pos);
bool ReadFuseLockBits(Context& ctx, const PagedUnit& unit);
bool ReadLockBits(Context& ctx, const PagedUnit& unit);
bool WriteLockBits(Context& ctx, const PagedUnit& unit);
bool WriteFuseLow(Context& ctx, const PagedUnit& unit);
bool WriteFuseHigh(Context& ctx, const PagedUnit& unit);
bool WriteFuseExtended(Context& ctx, const PagedUnit& unit);
bool ReadFuseLow(Context& ctx, const PagedUnit& unit);
bool ReadFuseHigh(Context& ctx, const PagedUnit& unit);
bool ReadFuseExtended(Context& ctx, const PagedUnit& unit);
bool ReadCalibration(Context& ctx, const PagedUnit& unit);

// One function per operation for a given unit, so the operation table holds plain pointers.
template <const PagedUnit& U>
struct Bound {
    static bool EnterProgMode(Context& c) { return paged::EnterProgMode(c, U); }
    static bool EraseChip(Context& c) { return paged::EraseChip(c, U); }
    static bool ReadFlashWord(Context& c, std::int32_t p, bool v) { return InFlash(p, 2) && paged::ReadFlashWord(c, U, p, v); }
    static bool WriteFlashWord(Context& c, std::int32_t p) { return InFlash(p, 2) && paged::WriteFlashWord(c, U, p); }
    static bool WriteFlashPage(Context& c, std::int32_t p) { return paged::WriteFlashPage(c, U, p); }
    static bool ReadEepromByte(Context& c, std::int32_t p, bool v) { return InEeprom(p) && paged::ReadEepromByte(c, U, p, v); }
    static bool WriteEepromByte(Context& c, std::int32_t p) { return InEeprom(p) && paged::WriteEepromByte(c, U, p); }
    static bool ReadFuseLockBits(Context& c) { return paged::ReadFuseLockBits(c, U); }
    static bool ReadLockBits(Context& c) { return paged::ReadLockBits(c, U); }
    static bool WriteLockBits(Context& c) { return paged::WriteLockBits(c, U); }
    static bool WriteFuseLow(Context& c) { return paged::WriteFuseLow(c, U); }
    static bool WriteFuseHigh(Context& c) { return paged::WriteFuseHigh(c, U); }
    static bool WriteFuseExtended(Context& c) { return paged::WriteFuseExtended(c, U); }
    static bool ReadFuseLow(Context& c) { return paged::ReadFuseLow(c, U); }
    static bool ReadFuseHigh(Context& c) { return paged::ReadFuseHigh(c, U); }
    static bool ReadFuseExtended(Context& c) { return paged::ReadFuseExtended(c, U); }
    static bool ReadCalibration(Context& c) { return paged::ReadCalibration(c, U); }
};

}  // namespace paged

// The operation table of a unit: single reads or the one-pass read, the high and extended fuse
// operations as far as the unit's slots go, and the calibration read where it has one.
template <const PagedUnit& U>
constexpr Driver MakePagedDriver()
{
    using B = paged::Bound<U>;
    Driver d{.name = U.name};
    d.EnterProgMode = B::EnterProgMode;
    d.EraseChip = B::EraseChip;
    d.ReadFlashWord = B::ReadFlashWord;
    d.WriteFlashWord = B::WriteFlashWord;
    d.WriteFlashPage = B::WriteFlashPage;
    d.ReadEepromByte = B::ReadEepromByte;
    d.WriteEepromByte = B::WriteEepromByte;
    if (U.fuseLockInOnePass) {
        d.ReadFuseLockBits = B::ReadFuseLockBits;
    } else {
        d.ReadLockBits = B::ReadLockBits;
        d.ReadFuseLow = B::ReadFuseLow;
        if (U.slots >= 3) d.ReadFuseHigh = B::ReadFuseHigh;
        if (U.slots >= 4) d.ReadFuseExtended = B::ReadFuseExtended;
    }
    d.WriteLockBits = B::WriteLockBits;
    d.WriteFuseLow = B::WriteFuseLow;
    if (U.slots >= 3) d.WriteFuseHigh = B::WriteFuseHigh;
    if (U.slots >= 4) d.WriteFuseExtended = B::WriteFuseExtended;
    if (U.calibration.offered) d.ReadCalibration = B::ReadCalibration;
    return d;
}

}  // namespace quillon
