// The classic parallel family: the AT90S chips without a page buffer, programmed in high-voltage
// parallel mode one flash word or EEPROM byte at a time. A unit describes only its differences.
#pragma once

#include <cstdint>
#include <string_view>

#include "chips/Driver.h"
#include "chips/Forward.h"
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
                   std::span<std::uint8_t> word, ReadMode verify);
bool WriteFlashWord(Bus& bus, const Target& target, const ClassicUnit& unit, std::int32_t pos,
                    std::span<const std::uint8_t> word);
bool ReadEepromByte(Bus& bus, const Target& target, const ClassicUnit& unit, std::int32_t pos,
                    std::span<std::uint8_t> byte, ReadMode verify);
bool RequestFlashWord(Bus& bus, const Target& target, const ClassicUnit& unit, std::int32_t pos);
bool RequestEepromByte(Bus& bus, const Target& target, const ClassicUnit& unit, std::int32_t pos);
bool WriteEepromByte(Bus& bus, const Target& target, const ClassicUnit& unit, std::int32_t pos,
                     std::span<const std::uint8_t> byte);
bool ReadFuseLockBits(Bus& bus, const Target& target, const ClassicUnit& unit, FuseSlots slots);
bool WriteFuseLow(Bus& bus, const Target& target, const ClassicUnit& unit, ConstFuseSlots slots);
bool WriteLockBits(Bus& bus, const Target& target, const ClassicUnit& unit, ConstFuseSlots slots);

}  // namespace classic

template <const ClassicUnit& U>
constexpr Driver MakeClassicDriver()
{
    return Driver{
        .name = U.name,
        .EnterProgMode = Forward<classic::EnterProgMode, U>,
        .EraseChip = Forward<classic::EraseChip, U>,
        .ReadFlashWord = Forward<classic::ReadFlashWord, U, Bounds::FlashWord>,
        .WriteFlashWord = Forward<classic::WriteFlashWord, U, Bounds::FlashWord>,
        .ReadEepromByte = Forward<classic::ReadEepromByte, U, Bounds::Eeprom>,
        .WriteEepromByte = Forward<classic::WriteEepromByte, U, Bounds::Eeprom>,
        .RequestFlashRead = Forward<classic::RequestFlashWord, U, Bounds::FlashWord>,
        .RequestEepromRead = Forward<classic::RequestEepromByte, U, Bounds::Eeprom>,
        .readAnswer = kPinbAnswer,
        .ReadFuseLockBits = Forward<classic::ReadFuseLockBits, U>,
        .WriteLockBits = Forward<classic::WriteLockBits, U>,
        .WriteFuseLow = Forward<classic::WriteFuseLow, U>,
    };
}

}  // namespace quillon
