#include "chips/PagedFamily.h"

#include <algorithm>

#include "chips/Hvpp.h"

namespace quillon::paged {

namespace {

using namespace hvpp;

// Word addresses above 16 bits exist only on chips with more than 128 KiB of flash.
constexpr std::uint32_t kExtendedFlash = 131072;

bool NeedsExtended(const Target& target, const PagedUnit& unit)
{
    return unit.extendedAddress && target.flashSize > kExtendedFlash;
}

// The programming pulse, the delay value and, where the chip reports it, the ready wait.
bool Program(Bus& bus, const ProgramPulse& pulse)
{
    if (!Send(bus, pulse.pulse)) return false;
    bus.Delay();
    return !pulse.waitReady || WaitReady(bus);
}

bool Latched(Bus& bus, Latch latch)
{
    switch (latch) {
    case Latch::None: return true;
    case Latch::Pagel:
    case Latch::PagelTwice: return Send(bus, kPagelPulse);
    case Latch::Bs1High:
        if (!Send(bus, {Packet{SetPORTC(0x0A)}, " set BS1=1"})) return false;
        bus.Delay();
        return true;
    }
    return false;
}

bool ReloadDue(Reload reload, std::uint32_t address, std::uint32_t page)
{
    switch (reload) {
    case Reload::EveryCall: return true;
    case Reload::LowByteZero: return (address & 0xFF) == 0;
    case Reload::PageStart: return address % page == 0;
    }
    return true;
}

std::uint8_t LockSlot(const PagedUnit& unit) { return static_cast<std::uint8_t>(unit.slots - 1); }

// Command 0x04, then one packet that selects a byte, reads it with OE low and ends in PD_WORK.
bool ReadFuseByte(Bus& bus, std::string_view what, const Selector& sel, std::string_view text,
                  std::uint8_t& slot, std::uint8_t forced = 0)
{
    return Logged(bus, what, [&] {
        if (!LoadCommand(bus, kReadFuseLock)) return false;
        auto byte = ReadBus(bus, {Packet{SetPORTC(sel.portC), SetDDRB(0x00), SetPORTD(sel.portD), ReadPINB(),
                                         SetPORTD(PD_WORK)},
                                  text});
        if (!byte) return false;
        slot = *byte | forced;
        return true;
    });
}

// Command 0x40 or 0x20 with the slot's byte, an optional select packet, then the pulse.
bool WriteFuseByte(Bus& bus, std::string_view what, std::uint8_t command, std::uint8_t value,
                   const Step* select, const ProgramPulse& pulse)
{
    return Logged(bus, what, [&] {
        if (!LoadCommand(bus, command) || !LoadDataLow(bus, value)) return false;
        if (select && !Send(bus, *select)) return false;
        return Program(bus, pulse);
    });
}

// The read command at the first word, then as much of the word's address as the chip has not
// kept latched.
bool SelectFlashWord(Bus& bus, const Target& target, const PagedUnit& unit, std::int32_t pos)
{
    const std::uint32_t word = Pos(pos) >> 1;
    if (pos == 0 && !LoadCommand(bus, kReadFlash)) return false;
    if (NeedsExtended(target, unit) && (word & 0xFFFF) == 0 && !LoadAddressExtended(bus, Byte(word >> 16)))
        return false;
    if (ReloadDue(unit.flashReadHigh, word, 1) && !LoadAddressHigh(bus, Byte(word >> 8))) return false;
    return LoadAddressLow(bus, Byte(word));
}

bool SelectEepromByte(Bus& bus, std::int32_t pos)
{
    const std::uint32_t address = Pos(pos);
    if (pos == 0 && !LoadCommand(bus, kReadEeprom)) return false;
    return LoadAddressHigh(bus, Byte(address >> 8)) && LoadAddressLow(bus, Byte(address));
}

}  // namespace

bool EnterProgMode(Bus& bus, const Target&, const PagedUnit& unit)
{
    return quillon::EnterProgMode(bus, unit.entry, *unit.entryTexts);
}

bool EraseChip(Bus& bus, const Target&, const PagedUnit& unit)
{
    return Logged(bus, " erase the chip",
                  [&] { return LoadCommand(bus, kChipErase) && Program(bus, unit.erase); });
}

bool ReadFlashWord(Bus& bus, const Target& target, const PagedUnit& unit, std::int32_t pos,
                   std::span<std::uint8_t> bytes, ReadMode verify)
{
    return SelectFlashWord(bus, target, unit, pos) && ReadWord(bus, bytes, verify);
}

bool RequestFlashWord(Bus& bus, const Target& target, const PagedUnit& unit, std::int32_t pos)
{
    return SelectFlashWord(bus, target, unit, pos) && RequestWord(bus);
}

bool WriteFlashWord(Bus& bus, const Target&, const PagedUnit& unit, std::int32_t pos,
                    std::span<const std::uint8_t> bytes)
{
    const std::uint32_t word = Pos(pos) >> 1;
    if (pos == 0 && !LoadCommand(bus, kWriteFlash)) return false;
    if (!LoadAddressLow(bus, Byte(word))) return false;
    if (!LoadDataLow(bus, bytes[0])) return false;
    if (unit.flashLatch == Latch::PagelTwice && !Send(bus, kPagelPulse)) return false;
    if (!LoadDataHigh(bus, bytes[1])) return false;
    if (!Latched(bus, unit.flashLatch)) return false;
    bus.Delay();
    return true;
}

bool WriteFlashPage(Bus& bus, const Target& target, const PagedUnit& unit, std::int32_t pos)
{
    const std::uint32_t word = Pos(pos) >> 1;
    if (!LoadAddressHigh(bus, Byte(word >> 8))) return false;
    if (NeedsExtended(target, unit) && !LoadAddressExtended(bus, Byte(word >> 16))) return false;
    if (!Send(bus, unit.pageWrite)) return false;
    bus.Delay();
    if (!WaitReady(bus)) return false;
    // After the last page no write command stays loaded in the chip.
    if (Pos(pos) + 2 == target.flashSize && !LoadCommand(bus, kNoOperation)) return false;
    return true;
}

bool ReadEepromByte(Bus& bus, const Target&, const PagedUnit&, std::int32_t pos, std::span<std::uint8_t> byte,
                    ReadMode verify)
{
    return SelectEepromByte(bus, pos) && ReadEepromInto(bus, byte[0], verify);
}

bool RequestEepromByte(Bus& bus, const Target&, const PagedUnit&, std::int32_t pos)
{
    return SelectEepromByte(bus, pos) && hvpp::RequestEepromByte(bus);
}

bool WriteEepromByte(Bus& bus, const Target& target, const PagedUnit& unit, std::int32_t pos,
                     std::span<const std::uint8_t> byte)
{
    const std::uint32_t address = Pos(pos);
    const std::uint32_t page = target.eepromPage;
    if (pos == 0 && !LoadCommand(bus, kWriteEeprom)) return false;
    if (ReloadDue(unit.eepromHigh, address, page == 0 ? 1 : page) && !LoadAddressHigh(bus, Byte(address >> 8)))
        return false;
    if (!LoadAddressLow(bus, Byte(address)) || !LoadDataLow(bus, byte[0])) return false;
    if (page == 0) return Program(bus, {});  // no page buffer: every byte by its own pulse

    if (!Latched(bus, unit.eepromLatch)) return false;
    if ((address + 1) % page != 0) return true;  // the byte waits in the page buffer
    if (unit.eepromCommitSelect && !Send(bus, *unit.eepromCommitSelect)) return false;
    return Program(bus, {});
}

bool ReadFuseLockBits(Bus& bus, const Target&, const PagedUnit&, FuseSlots slots)
{
    // OE stays low over the four reads; only BS1 and BS2 (XA1 on these chips) change.
    struct Read {
        Step step;
        std::uint8_t slot;
    };
    const Read reads[] = {
        {{Packet{SetDDRB(0x00), SetPORTC(0x08), SetPORTD(0x10), ReadPINB()}, " read Fuse Low bits"}, 0},
        {{Packet{SetPORTC(0x1A), ReadPINB()}, " read Fuse High bits"}, 1},
        {{Packet{SetPORTC(0x18), ReadPINB()}, " read Fuse Extended bits"}, 2},
        {{Packet{SetPORTC(0x0A), ReadPINB(), SetPORTD(PD_WORK)}, " read Lock bits"}, 3},
    };
    return Logged(bus, " read fuse- & lock-bits", [&] {
        if (!LoadCommand(bus, kReadFuseLock)) return false;
        for (const auto& read : reads) {
            auto byte = ReadBus(bus, read.step);
            if (!byte) return false;
            slots[read.slot] = *byte;
        }
        return true;
    });
}

bool ReadLockBits(Bus& bus, const Target&, const PagedUnit& unit, FuseSlots slots)
{
    return ReadFuseByte(bus, " read lock-bits", {0x0A, 0x10}, unit.readLockText, slots[LockSlot(unit)],
                        unit.lockReadForced);
}

bool WriteLockBits(Bus& bus, const Target&, const PagedUnit& unit, ConstFuseSlots slots)
{
    return WriteFuseByte(bus, " write lock-bits", kWriteLock, slots[LockSlot(unit)], nullptr, {});
}

bool WriteFuseLow(Bus& bus, const Target&, const PagedUnit& unit, ConstFuseSlots slots)
{
    return WriteFuseByte(bus, " write fuse low byte", kWriteFuse, slots[0], nullptr, unit.fuseLowPulse);
}

bool WriteFuseHigh(Bus& bus, const Target&, const PagedUnit& unit, ConstFuseSlots slots)
{
    return WriteFuseByte(bus, " write fuse high byte", kWriteFuse, slots[1], &unit.fuseHighSelect,
                         {{Packet{Pulse(GiveWRNegPulse)}, unit.fuseHighPulseText}});
}

bool WriteFuseExtended(Bus& bus, const Target&, const PagedUnit& unit, ConstFuseSlots slots)
{
    return WriteFuseByte(bus, " write fuse extended byte", kWriteFuse, slots[2], &unit.fuseExtendedSelect, {});
}

bool ReadFuseLow(Bus& bus, const Target&, const PagedUnit& unit, FuseSlots slots)
{
    return ReadFuseByte(bus, " read fuse low byte", {0x08, 0x10}, unit.readFuseLowText, slots[0]);
}

bool ReadFuseHigh(Bus& bus, const Target&, const PagedUnit& unit, FuseSlots slots)
{
    return ReadFuseByte(bus, " read fuse high byte", unit.fuseHighRead, " read Fuse High byte", slots[1]);
}

bool ReadFuseExtended(Bus& bus, const Target&, const PagedUnit& unit, FuseSlots slots)
{
    return ReadFuseByte(bus, " read fuse extended byte", unit.fuseExtendedRead, " read Fuse Extended byte",
                        slots[2]);
}

bool ReadCalibration(Bus& bus, const Target&, const PagedUnit& unit, std::span<std::uint8_t> bytes)
{
    const PagedCalibration& cal = unit.calibration;
    return Logged(
        bus, " read calibration bytes",
        [&] {
            if (!LoadCommand(bus, kReadSignatureCalibration)) return false;
            const std::size_t count = std::min<std::size_t>(bytes.size(), cal.maxBytes);
            for (std::uint8_t i = 0; i < count; ++i) {
                if (!LoadAddressLow(bus, i)) return false;
                if (cal.select && !Send(bus, *cal.select)) return false;
                auto byte = ReadBus(bus, cal.read);
                if (!byte) return false;
                bytes[i] = *byte;
            }
            return true;
        },
        "");
}

}  // namespace quillon::paged
