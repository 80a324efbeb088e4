// The classic parallel family: the AT90S chips without a page buffer, programmed in high-voltage
// parallel mode one flash word or EEPROM byte at a time. A unit describes only its differences.
#pragma once

#include <cstdint>
#include <string_view>

#include "chips/Driver.h"
#include "chips/Steps.h"
#include "programming/Parallel.h"

namespace quillon {

// The wording the first of these units logs for its entry steps; the later ones log the bytes.
inline constexpr EntryTexts kClassicNamedEntryTexts{
    .bus = " set DDRB=0x0, PORTB=0x0",
    .portC = " set DDRC=0x32, PORTC=0x0",
    .portD = " set DDRD=0xFC, PORTD=0x0",
    .powerUp = " EnterHVPPrgMode_AVR",
    .plus5V = "",
    .xtalPulse = "",
    .plus12V = "",
    .work = " set WR=1, OE=1",
};

enum class FuseLockRead {
    OneByte,      // one byte: fuse bits in 0 and 5, LB1 in bit 7, LB2 in bit 6
    FuseThenLock, // BS1 low gives the fuse byte, BS1 high the lock byte
};

struct ClassicUnit {
    std::string_view name{};
    const EntryTexts* entryTexts = &kHexEntryTexts;
    std::string_view firstFlashPulseText = " GiveWRNegPulse";  // the pulse after the low byte
    FuseLockRead fuseLockRead = FuseLockRead::OneByte;
    std::string_view fuseLockReadText = " read fuse- and lock-bits";
    std::string_view writeFuseOpening = " write fuse byte";  // empty: no opening line
};

namespace classic {

bool EnterProgMode(Bus& bus, const Target& target, const ClassicUnit& unit);
bool EraseChip(Bus& bus, const Target& target, const ClassicUnit& unit);
bool ReadFlashWord(Bus& bus, const Target& target, const ClassicUnit& unit, std::int32_t pos,
                   std::span<std::uint8_t> word, bool verify);
bool WriteFlashWord(Bus& bus, const Target& target, const ClassicUnit& unit, std::int32_t pos,
                    std::span<const std::uint8_t> word);
bool ReadEepromByte(Bus& bus, const Target& target, const ClassicUnit& unit, std::int32_t pos,
                    std::span<std::uint8_t> byte, bool verify);
bool WriteEepromByte(Bus& bus, const Target& target, const ClassicUnit& unit, std::int32_t pos,
                     std::span<const std::uint8_t> byte);
bool ReadFuseLockBits(Bus& bus, const Target& target, const ClassicUnit& unit, FuseSlots slots);
bool WriteFuseLow(Bus& bus, const Target& target, const ClassicUnit& unit, ConstFuseSlots slots);
bool WriteLockBits(Bus& bus, const Target& target, const ClassicUnit& unit, ConstFuseSlots slots);

template <const ClassicUnit& U>
struct Bound {
    using Bytes = std::span<std::uint8_t>;
    using ConstBytes = std::span<const std::uint8_t>;
    static bool EnterProgMode(Bus& b, const Target& t) { return classic::EnterProgMode(b, t, U); }
    static bool EraseChip(Bus& b, const Target& t) { return classic::EraseChip(b, t, U); }
    static bool ReadFlashWord(Bus& b, const Target& t, std::int32_t p, Bytes w, bool v) { return InFlash(p, w.size(), 2) && classic::ReadFlashWord(b, t, U, p, w, v); }
    static bool WriteFlashWord(Bus& b, const Target& t, std::int32_t p, ConstBytes w) { return InFlash(p, w.size(), 2) && classic::WriteFlashWord(b, t, U, p, w); }
    static bool ReadEepromByte(Bus& b, const Target& t, std::int32_t p, Bytes x, bool v) { return InEeprom(p, x.size()) && classic::ReadEepromByte(b, t, U, p, x, v); }
    static bool WriteEepromByte(Bus& b, const Target& t, std::int32_t p, ConstBytes x) { return InEeprom(p, x.size()) && classic::WriteEepromByte(b, t, U, p, x); }
    static bool ReadFuseLockBits(Bus& b, const Target& t, FuseSlots s) { return classic::ReadFuseLockBits(b, t, U, s); }
    static bool WriteFuseLow(Bus& b, const Target& t, ConstFuseSlots s) { return classic::WriteFuseLow(b, t, U, s); }
    static bool WriteLockBits(Bus& b, const Target& t, ConstFuseSlots s) { return classic::WriteLockBits(b, t, U, s); }
};

}  // namespace classic

template <const ClassicUnit& U>
constexpr Driver MakeClassicDriver()
{
    using B = classic::Bound<U>;
    return Driver{
        .name = U.name,
        .EnterProgMode = B::EnterProgMode,
        .EraseChip = B::EraseChip,
        .ReadFlashWord = B::ReadFlashWord,
        .WriteFlashWord = B::WriteFlashWord,
        .ReadEepromByte = B::ReadEepromByte,
        .WriteEepromByte = B::WriteEepromByte,
        .ReadFuseLockBits = B::ReadFuseLockBits,
        .WriteLockBits = B::WriteLockBits,
        .WriteFuseLow = B::WriteFuseLow,
    };
}

}  // namespace quillon
