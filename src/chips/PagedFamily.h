// The paged parallel family: ATmega, ATtiny2313/261 and AT90CAN chips programmed in high-voltage
// parallel mode with a flash page buffer. The algorithm is written once; a unit describes only
// where its chips differ, and MakePagedDriver binds that description to the operation table.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "chips/Chip.h"
#include "chips/Driver.h"
#include "chips/Forward.h"
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

bool EnterProgMode(Bus& bus, const Target& target, const PagedUnit& unit);
bool EraseChip(Bus& bus, const Target& target, const PagedUnit& unit);
bool ReadFlashWord(Bus& bus, const Target& target, const PagedUnit& unit, std::int32_t pos,
                   std::span<std::uint8_t> word, ReadMode verify);
bool WriteFlashWord(Bus& bus, const Target& target, const PagedUnit& unit, std::int32_t pos,
                    std::span<const std::uint8_t> word);
bool WriteFlashPage(Bus& bus, const Target& target, const PagedUnit& unit, std::int32_t pos);
bool ReadEepromByte(Bus& bus, const Target& target, const PagedUnit& unit, std::int32_t pos,
                    std::span<std::uint8_t> byte, ReadMode verify);
bool RequestFlashWord(Bus& bus, const Target& target, const PagedUnit& unit, std::int32_t pos);
bool RequestEepromByte(Bus& bus, const Target& target, const PagedUnit& unit, std::int32_t pos);
bool WriteEepromByte(Bus& bus, const Target& target, const PagedUnit& unit, std::int32_t pos,
                     std::span<const std::uint8_t> byte);
bool ReadFuseLockBits(Bus& bus, const Target& target, const PagedUnit& unit, FuseSlots slots);
bool ReadLockBits(Bus& bus, const Target& target, const PagedUnit& unit, FuseSlots slots);
bool WriteLockBits(Bus& bus, const Target& target, const PagedUnit& unit, ConstFuseSlots slots);
bool WriteFuseLow(Bus& bus, const Target& target, const PagedUnit& unit, ConstFuseSlots slots);
bool WriteFuseHigh(Bus& bus, const Target& target, const PagedUnit& unit, ConstFuseSlots slots);
bool WriteFuseExtended(Bus& bus, const Target& target, const PagedUnit& unit, ConstFuseSlots slots);
bool ReadFuseLow(Bus& bus, const Target& target, const PagedUnit& unit, FuseSlots slots);
bool ReadFuseHigh(Bus& bus, const Target& target, const PagedUnit& unit, FuseSlots slots);
bool ReadFuseExtended(Bus& bus, const Target& target, const PagedUnit& unit, FuseSlots slots);
bool ReadCalibration(Bus& bus, const Target& target, const PagedUnit& unit, std::span<std::uint8_t> bytes);

}  // namespace paged

// The operation table of a unit: single reads or the one-pass read, the high and extended fuse
// operations as far as the unit's slots go, and the calibration read where it has one.
template <const PagedUnit& U>
constexpr Driver MakePagedDriver()
{
    Driver d{.name = U.name};
    d.EnterProgMode = Forward<paged::EnterProgMode, U>;
    d.EraseChip = Forward<paged::EraseChip, U>;
    d.ReadFlashWord = Forward<paged::ReadFlashWord, U, Bounds::FlashWord>;
    d.WriteFlashWord = Forward<paged::WriteFlashWord, U, Bounds::FlashWord>;
    d.WriteFlashPage = Forward<paged::WriteFlashPage, U>;
    d.ReadEepromByte = Forward<paged::ReadEepromByte, U, Bounds::Eeprom>;
    d.WriteEepromByte = Forward<paged::WriteEepromByte, U, Bounds::Eeprom>;
    d.RequestFlashRead = Forward<paged::RequestFlashWord, U, Bounds::FlashWord>;
    d.RequestEepromRead = Forward<paged::RequestEepromByte, U, Bounds::Eeprom>;
    d.readAnswer = kPinbAnswer;
    if (U.fuseLockInOnePass) {
        d.ReadFuseLockBits = Forward<paged::ReadFuseLockBits, U>;
    } else {
        d.ReadLockBits = Forward<paged::ReadLockBits, U>;
        d.ReadFuseLow = Forward<paged::ReadFuseLow, U>;
        if (U.slots >= 3) d.ReadFuseHigh = Forward<paged::ReadFuseHigh, U>;
        if (U.slots >= 4) d.ReadFuseExtended = Forward<paged::ReadFuseExtended, U>;
    }
    d.WriteLockBits = Forward<paged::WriteLockBits, U>;
    d.WriteFuseLow = Forward<paged::WriteFuseLow, U>;
    if (U.slots >= 3) d.WriteFuseHigh = Forward<paged::WriteFuseHigh, U>;
    if (U.slots >= 4) d.WriteFuseExtended = Forward<paged::WriteFuseExtended, U>;
    if (U.calibration.offered) d.ReadCalibration = Forward<paged::ReadCalibration, U>;
    return d;
}

}  // namespace quillon
