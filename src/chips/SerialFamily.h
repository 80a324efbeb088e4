// The serial family: the small chips programmed through their SPI programming interface, one
// 4-byte instruction per step. The algorithm is written once; a unit describes its differences.
#pragma once

#include <cstdint>
#include <string_view>

#include "chips/Driver.h"
#include "chips/Forward.h"
#include "chips/Steps.h"
#include "programming/Serial.h"

namespace quillon {

class Bus;

// How an address is put into I2 (its high part) and I3 (its low part): each part masked.
// A high mask of 0 sends 0x00 in I2.
struct AddressForm {
    std::uint8_t highMask = 0xFF;
    std::uint8_t lowMask = 0xFF;
};

// Where the lock bits live in the instructions.
enum class SerialLock {
    WithFuse,  // one query gives fuse and lock bits; the lock bits are written in I2
    InI2,      // a query of their own; written in I2
    InI4,      // a query of their own; written in I4 of 0xAC 0xE0
};

// How the fuse low byte is written.
enum class SerialFuse {
    StartBitInI2,  // only bit 0, as 0xAC 0xBE|bit: the old chips' single fuse bit instruction
    ByteInI4,      // the whole byte in I4 of 0xAC 0xA0
};

struct SerialUnit {
    std::string_view name{};
    std::string_view enterText = " execute the sinchronization with chip";
    int eraseWait = 9;

    // Flash: read (and byte write) address form; flashWriteWait > 0 programs byte by byte with
    // that wait, 0 loads a page buffer that WriteFlashPage programs.
    AddressForm flashAddress{};
    int flashWriteWait = 0;
    AddressForm pageLoad{};    // word address of LoadFlashByte
    AddressForm pageSelect{};  // word address of WriteFlashPage

    // EEPROM: eepromWriteWait > 0 programs byte by byte, 0 through a 4-byte page buffer.
    AddressForm eepromAddress{};
    int eepromWriteWait = 0;

    // Lock and fuse bytes: slots in use (the lock byte is the last) and bits the chip does not
    // have, which are read and written as 1.
    std::uint8_t slots = 4;
    SerialLock lock = SerialLock::InI4;
    std::uint8_t lockForced = 0x00;
    SerialFuse fuseLow = SerialFuse::ByteInI4;
    std::string_view fuseLowReadWhat = " read fuse low byte";
    std::string_view fuseLowWriteWhat = " write fuse low byte";
    std::string_view fuseLowWriteText = " 0x44 Fuse Low 0x00 0xA0 0xAC";
    std::uint8_t fuseLowForced = 0x00;
    std::uint8_t fuseHighForced = 0x00;

    bool calibration = true;
    bool blankFlashByte = false;  // its erase needs one programmed byte between two erases
};

namespace serial {

// The instruction sets of two older generations, each shared by several units.

// AT90S2323, AT90S2343, ATtiny22: 1 K words of flash and 128 bytes of EEPROM programmed byte by
// byte, one fuse bit written by its own instruction, fuse and lock bits read in one byte. The
// lock bits travel in I2 of 1010 1100 1111 1211: the bits around LB1 and LB2 always go as 1,
// as other values there would turn the instruction into a chip erase or a fuse write.
inline constexpr SerialUnit kFirstGeneration{
    .enterText = " execute Programming Enable",
    .eraseWait = 18,
    .flashAddress = {.highMask = 0x03},
    .flashWriteWait = 9,
    .eepromAddress = {.highMask = 0x00, .lowMask = 0x7F},
    .eepromWriteWait = 9,
    .slots = 2,
    .lock = SerialLock::WithFuse,
    .lockForced = 0xF9,
    .fuseLow = SerialFuse::StartBitInI2,
    .fuseLowWriteWhat = " write fuse byte",
    .calibration = false,
};

// ATtiny12, ATtiny15: 512 words of flash and 64 bytes of EEPROM programmed byte by byte, a whole
// fuse byte, the lock bits in I2.
inline constexpr SerialUnit kTiny12Generation{
    .flashAddress = {.highMask = 0x01},
    .flashWriteWait = 4,
    .eepromAddress = {.highMask = 0x00, .lowMask = 0x3F},
    .eepromWriteWait = 7,
    .slots = 2,
    .lock = SerialLock::InI2,
    .lockForced = 0xF9,
    .fuseLowReadWhat = " read fuse byte",
    .fuseLowWriteWhat = " write fuse byte",
    .fuseLowWriteText = " 0x44 Fuse 0x00 0xA0 0xAC",
};

// A unit that is its generation under its own name, with `change` applied.
template <class Change>
constexpr SerialUnit Derived(SerialUnit base, std::string_view name, Change change)
{
    base.name = name;
    change(base);
    return base;
}
constexpr SerialUnit Derived(SerialUnit base, std::string_view name)
{
    return Derived(base, name, [](SerialUnit&) {});
}

bool EnterProgMode(Bus& bus, const Target& target, const SerialUnit& unit);
bool EraseChip(Bus& bus, const Target& target, const SerialUnit& unit);
bool ReadFlashByte(Bus& bus, const Target& target, const SerialUnit& unit, std::int32_t address,
                   std::span<std::uint8_t> byte, ReadMode verify);
bool WriteFlashByte(Bus& bus, const Target& target, const SerialUnit& unit, std::int32_t address,
                    std::span<const std::uint8_t> byte);
bool LoadFlashByte(Bus& bus, const Target& target, const SerialUnit& unit, std::int32_t address,
                   std::span<const std::uint8_t> byte);
bool WriteFlashPage(Bus& bus, const Target& target, const SerialUnit& unit, std::int32_t address);
bool ReadEepromByte(Bus& bus, const Target& target, const SerialUnit& unit, std::int32_t address,
                    std::span<std::uint8_t> byte, ReadMode verify);
bool RequestFlashByte(Bus& bus, const Target& target, const SerialUnit& unit, std::int32_t address);
bool RequestEepromByte(Bus& bus, const Target& target, const SerialUnit& unit, std::int32_t address);
bool WriteEepromByte(Bus& bus, const Target& target, const SerialUnit& unit, std::int32_t address,
                     std::span<const std::uint8_t> byte);
bool LoadEepromByte(Bus& bus, const Target& target, const SerialUnit& unit, std::int32_t address,
                    std::span<const std::uint8_t> byte);
bool WriteEepromPage(Bus& bus, const Target& target, const SerialUnit& unit, std::int32_t address);
bool ReadFuseLockBits(Bus& bus, const Target& target, const SerialUnit& unit, FuseSlots slots);
bool ReadLockBits(Bus& bus, const Target& target, const SerialUnit& unit, FuseSlots slots);
bool WriteLockBits(Bus& bus, const Target& target, const SerialUnit& unit, ConstFuseSlots slots);
bool WriteFuseLow(Bus& bus, const Target& target, const SerialUnit& unit, ConstFuseSlots slots);
bool WriteFuseHigh(Bus& bus, const Target& target, const SerialUnit& unit, ConstFuseSlots slots);
bool WriteFuseExtended(Bus& bus, const Target& target, const SerialUnit& unit, ConstFuseSlots slots);
bool ReadFuseLow(Bus& bus, const Target& target, const SerialUnit& unit, FuseSlots slots);
bool ReadFuseHigh(Bus& bus, const Target& target, const SerialUnit& unit, FuseSlots slots);
bool ReadFuseExtended(Bus& bus, const Target& target, const SerialUnit& unit, FuseSlots slots);
bool ReadCalibration(Bus& bus, const Target& target, const SerialUnit& unit, std::span<std::uint8_t> bytes);
bool WriteBlankFlashByte(Bus& bus, const Target& target, const SerialUnit& unit);

}  // namespace serial

template <const SerialUnit& U>
constexpr Driver MakeSerialDriver()
{
    Driver d{.name = U.name};
    d.EnterProgMode = Forward<serial::EnterProgMode, U>;
    d.EraseChip = Forward<serial::EraseChip, U>;
    d.ReadFlashByte = Forward<serial::ReadFlashByte, U, Bounds::FlashByte>;
    if (U.flashWriteWait > 0) {
        d.WriteFlashByte = Forward<serial::WriteFlashByte, U, Bounds::FlashByte>;
    } else {
        d.LoadFlashByte = Forward<serial::LoadFlashByte, U, Bounds::FlashByte>;
        d.WriteFlashPage = Forward<serial::WriteFlashPage, U>;
    }
    d.ReadEepromByte = Forward<serial::ReadEepromByte, U, Bounds::Eeprom>;
    d.RequestFlashRead = Forward<serial::RequestFlashByte, U, Bounds::FlashByte>;
    d.RequestEepromRead = Forward<serial::RequestEepromByte, U, Bounds::Eeprom>;
    d.readAnswer = kSpiReadBackAnswer;
    if (U.eepromWriteWait > 0) {
        d.WriteEepromByte = Forward<serial::WriteEepromByte, U, Bounds::Eeprom>;
    } else {
        d.LoadEepromByte = Forward<serial::LoadEepromByte, U, Bounds::Eeprom>;
        d.WriteEepromPage = Forward<serial::WriteEepromPage, U>;
    }
    if (U.lock == SerialLock::WithFuse) {
        d.ReadFuseLockBits = Forward<serial::ReadFuseLockBits, U>;
    } else {
        d.ReadLockBits = Forward<serial::ReadLockBits, U>;
        d.ReadFuseLow = Forward<serial::ReadFuseLow, U>;
        if (U.slots >= 3) d.ReadFuseHigh = Forward<serial::ReadFuseHigh, U>;
        if (U.slots >= 4) d.ReadFuseExtended = Forward<serial::ReadFuseExtended, U>;
    }
    d.WriteLockBits = Forward<serial::WriteLockBits, U>;
    d.WriteFuseLow = Forward<serial::WriteFuseLow, U>;
    if (U.slots >= 3) d.WriteFuseHigh = Forward<serial::WriteFuseHigh, U>;
    if (U.slots >= 4) d.WriteFuseExtended = Forward<serial::WriteFuseExtended, U>;
    if (U.calibration) d.ReadCalibration = Forward<serial::ReadCalibration, U>;
    if (U.blankFlashByte) d.WriteBlankFlashByte = Forward<serial::WriteBlankFlashByte, U>;
    return d;
}

}  // namespace quillon
