#include "chips/SerialFamily.h"

#include "chips/Steps.h"
#include "programming/Serial.h"

namespace quillon::serial {

namespace {

constexpr int kFuseLockWait = 5;
constexpr int kPageWait = 5;
constexpr int kBlankByteWait = 4;

std::uint32_t Addr(std::int32_t address) { return static_cast<std::uint32_t>(address); }

std::uint8_t High(const AddressForm& form, std::uint32_t value)
{
    return static_cast<std::uint8_t>((value >> 8) & form.highMask);
}
std::uint8_t Low(const AddressForm& form, std::uint32_t value)
{
    return static_cast<std::uint8_t>(value & form.lowMask);
}

// The failure texts name I2 as "a" where the address reaches it and as 0x00 where it does not.
std::string_view Text(const AddressForm& form, std::string_view withHigh, std::string_view without)
{
    return form.highMask != 0 ? withHigh : without;
}

// H selects the byte of a flash word: 0 the low byte, 1 the high byte.
std::uint8_t ByteSelect(std::uint8_t opcode, std::uint32_t address)
{
    return static_cast<std::uint8_t>(opcode + 8 * (address & 1));
}

std::uint8_t LockSlot(const SerialUnit& unit) { return static_cast<std::uint8_t>(unit.slots - 1); }

// A read instruction with the text its failed load logs.
struct Query {
    std::uint8_t i1, i2, i3;
    std::string_view text;
};

Query FlashRead(const SerialUnit& unit, std::uint32_t a)
{
    const std::uint32_t word = a >> 1;
    return {ByteSelect(0x20, a), High(unit.flashAddress, word), Low(unit.flashAddress, word), " 0x44 0x00 b a 0x2H"};
}

Query EepromRead(const SerialUnit& unit, std::uint32_t a)
{
    return {0xA0, High(unit.eepromAddress, a), Low(unit.eepromAddress, a),
            Text(unit.eepromAddress, " 0x44 0x00 b a 0xA0", " 0x44 0x00 b 0x00 0xA0")};
}

bool ReadInto(Bus& bus, const Query& q, std::span<std::uint8_t> byte, ReadMode verify)
{
    auto reply = SpiQuery(bus, q.i1, q.i2, q.i3, 0x00, q.text);
    if (!reply) return false;
    return StoreOrCompare(byte[0], reply->byte0, verify);
}

bool QueryInto(Bus& bus, std::uint8_t i1, std::uint8_t i2, std::string_view text, std::uint8_t& slot,
               std::uint8_t forced)
{
    auto reply = SpiQuery(bus, i1, i2, 0x00, 0x00, text);
    if (!reply) return false;
    slot = reply->byte0 | forced;
    return true;
}

}  // namespace

bool EnterProgMode(Bus& bus, const Target&, const SerialUnit& unit) { return EnterSerialProgMode(bus, unit.enterText); }

bool EraseChip(Bus& bus, const Target&, const SerialUnit& unit)
{
    return Logged(bus, " erase the chip", [&] {
        return SpiInstruction(bus, 0xAC, 0x80, 0x00, 0x00, unit.eraseWait, " 0x44 0x00 0x00 0x80 0xAC");
    });
}

bool ReadFlashByte(Bus& bus, const Target&, const SerialUnit& unit, std::int32_t address, std::span<std::uint8_t> byte,
                   ReadMode verify)
{
    return ReadInto(bus, FlashRead(unit, Addr(address)), byte, verify);
}

bool RequestFlashByte(Bus& bus, const Target&, const SerialUnit& unit, std::int32_t address)
{
    const Query q = FlashRead(unit, Addr(address));
    return SpiRequest(bus, q.i1, q.i2, q.i3, 0x00, q.text);
}

bool WriteFlashByte(Bus& bus, const Target&, const SerialUnit& unit, std::int32_t address,
                    std::span<const std::uint8_t> byte)
{
    const std::uint32_t a = Addr(address);
    const std::uint32_t word = a >> 1;
    return SpiInstruction(bus, ByteSelect(0x40, a), High(unit.flashAddress, word), Low(unit.flashAddress, word),
                          byte[0], unit.flashWriteWait, " 0x44 Data b a 0x4H");
}

bool LoadFlashByte(Bus& bus, const Target&, const SerialUnit& unit, std::int32_t address,
                   std::span<const std::uint8_t> byte)
{
    const std::uint32_t a = Addr(address);
    const std::uint32_t word = a >> 1;
    return SpiInstruction(bus, ByteSelect(0x40, a), High(unit.pageLoad, word), Low(unit.pageLoad, word),
                          byte[0], 0, Text(unit.pageLoad, " 0x44 Data b a 0x4H", " 0x44 Data b 0x00 0x4H"));
}

bool WriteFlashPage(Bus& bus, const Target&, const SerialUnit& unit, std::int32_t address)
{
    const std::uint32_t word = Addr(address) >> 1;
    return SpiInstruction(bus, 0x4C, High(unit.pageSelect, word), Low(unit.pageSelect, word), 0x00, kPageWait,
                          Text(unit.pageSelect, " 0x44 0x00 b a 0x4C", " 0x44 0x00 b 0x00 0x4C"));
}

bool ReadEepromByte(Bus& bus, const Target&, const SerialUnit& unit, std::int32_t address,
                    std::span<std::uint8_t> byte, ReadMode verify)
{
    return ReadInto(bus, EepromRead(unit, Addr(address)), byte, verify);
}

bool RequestEepromByte(Bus& bus, const Target&, const SerialUnit& unit, std::int32_t address)
{
    const Query q = EepromRead(unit, Addr(address));
    return SpiRequest(bus, q.i1, q.i2, q.i3, 0x00, q.text);
}

bool WriteEepromByte(Bus& bus, const Target&, const SerialUnit& unit, std::int32_t address,
                     std::span<const std::uint8_t> byte)
{
    const std::uint32_t a = Addr(address);
    return SpiInstruction(bus, 0xC0, High(unit.eepromAddress, a), Low(unit.eepromAddress, a), byte[0],
                          unit.eepromWriteWait,
                          Text(unit.eepromAddress, " 0x44 Data b a 0xC0", " 0x44 Data b 0x00 0xC0"));
}

bool LoadEepromByte(Bus& bus, const Target&, const SerialUnit&, std::int32_t address,
                    std::span<const std::uint8_t> byte)
{
    const std::uint32_t a = Addr(address);
    return SpiInstruction(bus, 0xC1, 0x00, static_cast<std::uint8_t>(a & 0x03), byte[0], 0,
                          " 0x44 Data b 0x00 0xC1");
}

bool WriteEepromPage(Bus& bus, const Target&, const SerialUnit& unit, std::int32_t address)
{
    const std::uint32_t a = Addr(address);
    return SpiInstruction(bus, 0xC2, High(unit.eepromAddress, a), Low(unit.eepromAddress, a) & 0xFC, 0x00,
                          kPageWait, Text(unit.eepromAddress, " 0x44 0x00 b a 0xC2", " 0x44 0x00 b 0x00 0xC2"));
}

bool ReadFuseLockBits(Bus& bus, const Target&, const SerialUnit&, FuseSlots slots)
{
    return Logged(bus, " read lock- & fuse-bits", [&] {
        auto reply = SpiQuery(bus, 0x58, 0x00, 0x00, 0x00, " 0x44 0x00 0x00 0x00 0x58");
        if (!reply) return false;
        StoreCombinedFuseLock(slots, reply->byte0);
        return true;
    });
}

bool ReadLockBits(Bus& bus, const Target&, const SerialUnit& unit, FuseSlots slots)
{
    return Logged(bus, " read lock-bits", [&] {
        return QueryInto(bus, 0x58, 0x00, " 0x44 0x00 0x00 0x00 0x58", slots[LockSlot(unit)],
                         unit.lockForced);
    });
}

bool WriteLockBits(Bus& bus, const Target&, const SerialUnit& unit, ConstFuseSlots slots)
{
    const std::uint8_t lock = slots[LockSlot(unit)] | unit.lockForced;
    return Logged(bus, " write lock-bits", [&] {
        if (unit.lock == SerialLock::InI4)
            return SpiInstruction(bus, 0xAC, 0xE0, 0x00, lock, kFuseLockWait, " 0x44 Lock 0x00 0xE0 0xAC");
        return SpiInstruction(bus, 0xAC, lock, 0x00, 0x00, kFuseLockWait, " 0x44 0x00 0x00 Lock 0xAC");
    });
}

bool WriteFuseLow(Bus& bus, const Target&, const SerialUnit& unit, ConstFuseSlots slots)
{
    const std::uint8_t fuse = slots[0];
    return Logged(bus, unit.fuseLowWriteWhat, [&] {
        if (unit.fuseLow == SerialFuse::StartBitInI2) {
            // Only bit 0 travels: with any other bits in I2 the instruction would be a chip erase.
            return SpiInstruction(bus, 0xAC, static_cast<std::uint8_t>(0xBE | (fuse & 0x01)), 0x00, 0x00,
                                  kFuseLockWait, " 0x44 0x00 0x00 FSTRT 0xAC");
        }
        return SpiInstruction(bus, 0xAC, 0xA0, 0x00, fuse | unit.fuseLowForced, kFuseLockWait,
                              unit.fuseLowWriteText);
    });
}

bool WriteFuseHigh(Bus& bus, const Target&, const SerialUnit& unit, ConstFuseSlots slots)
{
    return Logged(bus, " write fuse high byte", [&] {
        return SpiInstruction(bus, 0xAC, 0xA8, 0x00, slots[1] | unit.fuseHighForced, kFuseLockWait,
                              " 0x44 Fuse High 0x00 0xA8 0xAC");
    });
}

bool WriteFuseExtended(Bus& bus, const Target&, const SerialUnit&, ConstFuseSlots slots)
{
    return Logged(bus, " write fuse extended byte", [&] {
        return SpiInstruction(bus, 0xAC, 0xA4, 0x00, slots[2], kFuseLockWait,
                              " 0x44 Fuse Extended 0x00 0xA4 0xAC");
    });
}

bool ReadFuseLow(Bus& bus, const Target&, const SerialUnit& unit, FuseSlots slots)
{
    return Logged(bus, unit.fuseLowReadWhat, [&] {
        return QueryInto(bus, 0x50, 0x00, " 0x44 0x00 0x00 0x00 0x50", slots[0], unit.fuseLowForced);
    });
}

bool ReadFuseHigh(Bus& bus, const Target&, const SerialUnit& unit, FuseSlots slots)
{
    return Logged(bus, " read fuse high byte", [&] {
        return QueryInto(bus, 0x58, 0x08, " 0x44 0x00 0x00 0x08 0x58", slots[1], unit.fuseHighForced);
    });
}

bool ReadFuseExtended(Bus& bus, const Target&, const SerialUnit&, FuseSlots slots)
{
    return Logged(bus, " read fuse extended byte", [&] {
        return QueryInto(bus, 0x50, 0x08, " 0x44 0x00 0x00 0x08 0x50", slots[2], 0x00);
    });
}

bool ReadCalibration(Bus& bus, const Target&, const SerialUnit&, std::span<std::uint8_t> bytes)
{
    return Logged(
        bus, " read calibration bytes",
        [&] {
            for (std::uint8_t i = 0; i < bytes.size(); ++i) {
                auto reply = SpiQuery(bus, 0x38, 0x00, i, 0x00, " 0x44 0x00 i 0x00 0x38");
                if (!reply) return false;
                bytes[i] = reply->byte0;
            }
            return true;
        },
        "");
}

bool WriteBlankFlashByte(Bus& bus, const Target&, const SerialUnit&)
{
    return SpiInstruction(bus, 0x40, 0x00, 0x00, 0xFF, kBlankByteWait, " 0x44 0xFF 0 0 0x40");
}

}  // namespace quillon::serial
