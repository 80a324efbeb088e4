// The serial family: the small chips programmed through their SPI programming interface, one
// 4-byte instruction per step. The algorithm is written once; a unit describes its differences.
#pragma once

#include <cstdint>
#include <string_view>

#include "chips/Driver.h"
#include "chips/Steps.h"

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
                   std::span<std::uint8_t> byte, bool verify);
bool WriteFlashByte(Bus& bus, const Target& target, const SerialUnit& unit, std::int32_t address,
                    std::span<const std::uint8_t> byte);
bool LoadFlashByte(Bus& bus, const Target& target, const SerialUnit& unit, std::int32_t address,
                   std::span<const std::uint8_t> byte);
bool WriteFlashPage(Bus& bus, const Target& target, const SerialUnit& unit, std::int32_t address);
bool ReadEepromByte(Bus& bus, const Target& target, const SerialUnit& unit, std::int32_t address,
                    std::span<std::uint8_t> byte, bool verify);
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

template <const SerialUnit& U>
struct Bound {
    using Bytes = std::span<std::uint8_t>;
    using ConstBytes = std::span<const std::uint8_t>;
    static bool EnterProgMode(Bus& b, const Target& t) { return serial::EnterProgMode(b, t, U); }
    static bool EraseChip(Bus& b, const Target& t) { return serial::EraseChip(b, t, U); }
    static bool ReadFlashByte(Bus& b, const Target& t, std::int32_t a, Bytes x, bool v) { return InFlash(a, x.size()) && serial::ReadFlashByte(b, t, U, a, x, v); }
    static bool WriteFlashByte(Bus& b, const Target& t, std::int32_t a, ConstBytes x) { return InFlash(a, x.size()) && serial::WriteFlashByte(b, t, U, a, x); }
    static bool LoadFlashByte(Bus& b, const Target& t, std::int32_t a, ConstBytes x) { return InFlash(a, x.size()) && serial::LoadFlashByte(b, t, U, a, x); }
    static bool WriteFlashPage(Bus& b, const Target& t, std::int32_t a) { return serial::WriteFlashPage(b, t, U, a); }
    static bool ReadEepromByte(Bus& b, const Target& t, std::int32_t a, Bytes x, bool v) { return InEeprom(a, x.size()) && serial::ReadEepromByte(b, t, U, a, x, v); }
    static bool WriteEepromByte(Bus& b, const Target& t, std::int32_t a, ConstBytes x) { return InEeprom(a, x.size()) && serial::WriteEepromByte(b, t, U, a, x); }
    static bool LoadEepromByte(Bus& b, const Target& t, std::int32_t a, ConstBytes x) { return InEeprom(a, x.size()) && serial::LoadEepromByte(b, t, U, a, x); }
    static bool WriteEepromPage(Bus& b, const Target& t, std::int32_t a) { return serial::WriteEepromPage(b, t, U, a); }
    static bool ReadFuseLockBits(Bus& b, const Target& t, FuseSlots s) { return serial::ReadFuseLockBits(b, t, U, s); }
    static bool ReadLockBits(Bus& b, const Target& t, FuseSlots s) { return serial::ReadLockBits(b, t, U, s); }
    static bool WriteLockBits(Bus& b, const Target& t, ConstFuseSlots s) { return serial::WriteLockBits(b, t, U, s); }
    static bool WriteFuseLow(Bus& b, const Target& t, ConstFuseSlots s) { return serial::WriteFuseLow(b, t, U, s); }
    static bool WriteFuseHigh(Bus& b, const Target& t, ConstFuseSlots s) { return serial::WriteFuseHigh(b, t, U, s); }
    static bool WriteFuseExtended(Bus& b, const Target& t, ConstFuseSlots s) { return serial::WriteFuseExtended(b, t, U, s); }
    static bool ReadFuseLow(Bus& b, const Target& t, FuseSlots s) { return serial::ReadFuseLow(b, t, U, s); }
    static bool ReadFuseHigh(Bus& b, const Target& t, FuseSlots s) { return serial::ReadFuseHigh(b, t, U, s); }
    static bool ReadFuseExtended(Bus& b, const Target& t, FuseSlots s) { return serial::ReadFuseExtended(b, t, U, s); }
    static bool ReadCalibration(Bus& b, const Target& t, Bytes c) { return serial::ReadCalibration(b, t, U, c); }
    static bool WriteBlankFlashByte(Bus& b, const Target& t) { return serial::WriteBlankFlashByte(b, t, U); }
};

}  // namespace serial

template <const SerialUnit& U>
constexpr Driver MakeSerialDriver()
{
    using B = serial::Bound<U>;
    Driver d{.name = U.name};
    d.EnterProgMode = B::EnterProgMode;
    d.EraseChip = B::EraseChip;
    d.ReadFlashByte = B::ReadFlashByte;
    if (U.flashWriteWait > 0) {
        d.WriteFlashByte = B::WriteFlashByte;
    } else {
        d.LoadFlashByte = B::LoadFlashByte;
        d.WriteFlashPage = B::WriteFlashPage;
    }
    d.ReadEepromByte = B::ReadEepromByte;
    if (U.eepromWriteWait > 0) {
        d.WriteEepromByte = B::WriteEepromByte;
    } else {
        d.LoadEepromByte = B::LoadEepromByte;
        d.WriteEepromPage = B::WriteEepromPage;
    }
    if (U.lock == SerialLock::WithFuse) {
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
    if (U.calibration) d.ReadCalibration = B::ReadCalibration;
    if (U.blankFlashByte) d.WriteBlankFlashByte = B::WriteBlankFlashByte;
    return d;
}

}  // namespace quillon
