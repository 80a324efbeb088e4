// What the two parallel families share: the chips' command bytes, the address bytes of a
// position, and the read cycles of a flash word and an EEPROM byte.
#pragma once

#include <cstdint>

#include "chips/Steps.h"

namespace quillon::hvpp {

// Command bytes as the chips' parallel programming algorithm defines them.
inline constexpr std::uint8_t kChipErase = 0x80;
inline constexpr std::uint8_t kWriteFuse = 0x40;
inline constexpr std::uint8_t kWriteLock = 0x20;
inline constexpr std::uint8_t kWriteFlash = 0x10;
inline constexpr std::uint8_t kWriteEeprom = 0x11;
inline constexpr std::uint8_t kReadFuseLock = 0x04;
inline constexpr std::uint8_t kReadSignatureCalibration = 0x08;
inline constexpr std::uint8_t kReadFlash = 0x02;
inline constexpr std::uint8_t kReadEeprom = 0x03;
inline constexpr std::uint8_t kNoOperation = 0x00;

inline std::uint8_t Byte(std::uint32_t v) { return static_cast<std::uint8_t>(v & 0xFF); }
inline std::uint32_t Pos(std::int32_t pos) { return static_cast<std::uint32_t>(pos); }

// A flash word is read in two packets: the low byte leaves OE low, the high byte (BS1 high)
// ends with OE high again.
inline constexpr Step kReadFlashLow{Packet{SetDDRB(0x00), SetPORTD(0x10), ReadPINB()}, " read flash word low byte"};
inline constexpr Step kReadFlashHigh{Packet{SetPORTC(0x0A), ReadPINB(), SetPORTD(PD_WORK)}, " read flash word high byte"};
inline constexpr Step kReadEepromByte{Packet{SetDDRB(0x00), SetPORTD(0x10), ReadPINB(), SetPORTD(PD_WORK)},
                                  " read EEPROM byte"};

// Reads the word (after its address is loaded) into, or against, the caller's two bytes.
inline bool ReadWord(Bus& bus, std::span<std::uint8_t> word, ReadMode verify)
{
    auto low = ReadBus(bus, kReadFlashLow);
    if (!low) return false;
    // A difference stops here: OE stays low until the next step sets the lines again.
    if (!StoreOrCompare(word[0], *low, verify)) return false;
    auto high = ReadBus(bus, kReadFlashHigh);
    if (!high) return false;
    return StoreOrCompare(word[1], *high, verify, 1);
}

// Answers in flight: the two read packets of a word, or the one of an EEPROM byte, sent with
// their answers left owed.
inline bool RequestWord(Bus& bus) { return SendOwing(bus, kReadFlashLow) && SendOwing(bus, kReadFlashHigh); }
inline bool RequestEepromByte(Bus& bus) { return SendOwing(bus, kReadEepromByte); }

inline bool ReadEepromInto(Bus& bus, std::uint8_t& byte, ReadMode verify)
{
    auto value = ReadBus(bus, kReadEepromByte);
    if (!value) return false;
    return StoreOrCompare(byte, *value, verify);
}

}  // namespace quillon::hvpp
