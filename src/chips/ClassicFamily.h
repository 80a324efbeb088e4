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

bool EnterProgMode(Context& ctx, const ClassicUnit& unit);
bool EraseChip(Context& ctx, const ClassicUnit& unit);
bool ReadFlashWord(Context& ctx, const ClassicUnit& unit, std::int32_t pos, bool verify);
bool WriteFlashWord(Context& ctx, const ClassicUnit& unit, std::int32_t pos);
bool ReadEepromByte(Context& ctx, const ClassicUnit& unit, std::int32_t pos, bool verify);
bool WriteEepromByte(Context& ctx, const ClassicUnit& unit, std::int32_t pos);
bool ReadFuseLockBits(Context& ctx, const ClassicUnit& unit);
bool WriteFuseLow(Context& ctx, const ClassicUnit& unit);
bool WriteLockBits(Context& ctx, const ClassicUnit& unit);

template <const ClassicUnit& U>
struct Bound {
    static bool EnterProgMode(Context& c) { return classic::EnterProgMode(c, U); }
    static bool EraseChip(Context& c) { return classic::EraseChip(c, U); }
    static bool ReadFlashWord(Context& c, std::int32_t p, bool v) { return InFlash(p, 2) && classic::ReadFlashWord(c, U, p, v); }
    static bool WriteFlashWord(Context& c, std::int32_t p) { return InFlash(p, 2) && classic::WriteFlashWord(c, U, p); }
    static bool ReadEepromByte(Context& c, std::int32_t p, bool v) { return InEeprom(p) && classic::ReadEepromByte(c, U, p, v); }
    static bool WriteEepromByte(Context& c, std::int32_t p) { return InEeprom(p) && classic::WriteEepromByte(c, U, p); }
    static bool ReadFuseLockBits(Context& c) { return classic::ReadFuseLockBits(c, U); }
    static bool WriteFuseLow(Context& c) { return classic::WriteFuseLow(c, U); }
    static bool WriteLockBits(Context& c) { return classic::WriteLockBits(c, U); }
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
