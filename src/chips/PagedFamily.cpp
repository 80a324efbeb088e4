#include "chips/PagedFamily.h"

#include <algorithm>

#include "chips/ChipTable.h"
#include "chips/Hvpp.h"

namespace quillon::paged {

namespace {

using namespace hvpp;

// Word addresses above 16 bits exist only on chips with more than 128 KiB of flash.
constexpr std::uint32_t kExtendedFlash = 131072;

bool NeedsExtended(const Context& ctx, const PagedUnit& unit)
{
    return unit.extendedAddress && ctx.chip.flashSize > kExtendedFlash;
}

// The programming pulse, the delay value and, where the chip reports it, the ready wait.
bool Program(Context& ctx, const ProgramPulse& pulse)
{
    if (!Send(ctx, pulse.pulse)) return false;
    ctx.Delay();
    return !pulse.waitReady || WaitReady(ctx);
}

bool Latched(Context& ctx, Latch latch)
{
    switch (latch) {
    case Latch::None: return true;
    case Latch::Pagel:
    case Latch::PagelTwice: return Send(ctx, kPagelPulse);
    case Latch::Bs1High:
        if (!Send(ctx, {Packet{SetPORTC(0x0A)}, " set BS1=1"})) return false;
        ctx.Delay();
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

// The selected chip's EEPROM page in bytes; 0 when every byte is programmed by its own pulse.
std::uint32_t EepromPage(const Context& ctx)
{
    const ChipRow* row = FindChip(ctx.chip.signature);
    return row ? row->eepromPage : 0;
}

std::uint8_t LockSlot(const PagedUnit& unit) { return static_cast<std::uint8_t>(unit.slots - 1); }

// Command 0x04, then one packet that selects a byte, reads it with OE low and ends in PD_WORK.
bool ReadFuseByte(Context& ctx, std::string_view what, const Selector& sel, std::string_view text,
                  std::uint8_t slot, std::uint8_t forced = 0)
{
    return Logged(ctx, what, [&] {
        if (!LoadCommand(ctx, kReadFuseLock)) return false;
        auto byte = ReadBus(ctx, {Packet{SetPORTC(sel.portC), SetDDRB(0x00), SetPORTD(sel.portD), ReadPINB(),
                                         SetPORTD(PD_WORK)},
                                  text});
        if (!byte) return false;
        ctx.chip.lockFuse[slot] = *byte | forced;
        return true;
    });
}

// Command 0x40 or 0x20 with the slot's byte, an optional select packet, then the pulse.
bool WriteFuseByte(Context& ctx, std::string_view what, std::uint8_t command, std::uint8_t slot,
                   const Step* select, const ProgramPulse& pulse)
{
    return Logged(ctx, what, [&] {
        if (!LoadCommand(ctx, command) || !LoadDataLow(ctx, ctx.chip.lockFuse[slot])) return false;
        if (select && !Send(ctx, *select)) return false;
        return Program(ctx, pulse);
    });
}

}  // namespace

bool EnterProgMode(Context& ctx, const PagedUnit& unit)
{
    return quillon::EnterProgMode(ctx, unit.entry, *unit.entryTexts);
}

bool EraseChip(Context& ctx, const PagedUnit& unit)
{
    return Logged(ctx, " erase the chip",
                  [&] { return LoadCommand(ctx, kChipErase) && Program(ctx, unit.erase); });
}

bool ReadFlashWord(Context& ctx, const PagedUnit& unit, std::int32_t pos, bool verify)
{
    const std::uint32_t word = Pos(pos) >> 1;
    if (pos == 0 && !LoadCommand(ctx, kReadFlash)) return false;
    if (NeedsExtended(ctx, unit) && (word & 0xFFFF) == 0 && !LoadAddressExtended(ctx, Byte(word >> 16)))
        return false;
    if (ReloadDue(unit.flashReadHigh, word, 1) && !LoadAddressHigh(ctx, Byte(word >> 8))) return false;
    if (!LoadAddressLow(ctx, Byte(word))) return false;
    return ReadWord(ctx, pos, verify);
}

bool WriteFlashWord(Context& ctx, const PagedUnit& unit, std::int32_t pos)
{
    const std::uint32_t word = Pos(pos) >> 1;
    if (pos == 0 && !LoadCommand(ctx, kWriteFlash)) return false;
    if (!LoadAddressLow(ctx, Byte(word))) return false;
    if (!LoadDataLow(ctx, ctx.chip.flash[Pos(pos)])) return false;
    if (unit.flashLatch == Latch::PagelTwice && !Send(ctx, kPagelPulse)) return false;
    if (!LoadDataHigh(ctx, ctx.chip.flash[Pos(pos) + 1])) return false;
    if (!Latched(ctx, unit.flashLatch)) return false;
    ctx.Delay();
    return true;
}

bool WriteFlashPage(Context& ctx, const PagedUnit& unit, std::int32_t pos)
{
    const std::uint32_t word = Pos(pos) >> 1;
    if (!LoadAddressHigh(ctx, Byte(word >> 8))) return false;
    if (NeedsExtended(ctx, unit) && !LoadAddressExtended(ctx, Byte(word >> 16))) return false;
    if (!Send(ctx, unit.pageWrite)) return false;
    ctx.Delay();
    if (!WaitReady(ctx)) return false;
    // After the last page no write command stays loaded in the chip.
    if (Pos(pos) + 2 == ctx.chip.flashSize && !LoadCommand(ctx, kNoOperation)) return false;
    return true;
}

bool ReadEepromByte(Context& ctx, const PagedUnit&, std::int32_t pos, bool verify)
{
    const std::uint32_t address = Pos(pos);
    if (pos == 0 && !LoadCommand(ctx, kReadEeprom)) return false;
    return LoadAddressHigh(ctx, Byte(address >> 8)) && LoadAddressLow(ctx, Byte(address)) &&
           ReadEepromInto(ctx, pos, verify);
}

bool WriteEepromByte(Context& ctx, const PagedUnit& unit, std::int32_t pos)
{
    const std::uint32_t address = Pos(pos);
    const std::uint32_t page = EepromPage(ctx);
    if (pos == 0 && !LoadCommand(ctx, kWriteEeprom)) return false;
    if (ReloadDue(unit.eepromHigh, address, page == 0 ? 1 : page) && !LoadAddressHigh(ctx, Byte(address >> 8)))
        return false;
    if (!LoadAddressLow(ctx, Byte(address)) || !LoadDataLow(ctx, ctx.chip.eeprom[address])) return false;
    if (page == 0) return Program(ctx, {});  // no page buffer: every byte by its own pulse

    if (!Latched(ctx, unit.eepromLatch)) return false;
    if ((address + 1) % page != 0) return true;  // the byte waits in the page buffer
    if (unit.eepromCommitSelect && !Send(ctx, *unit.eepromCommitSelect)) return false;
    return Program(ctx, {});
}

bool ReadFuseLockBits(Context& ctx, const PagedUnit&)
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
    return Logged(ctx, " read fuse- & lock-bits", [&] {
        if (!LoadCommand(ctx, kReadFuseLock)) return false;
        for (const auto& read : reads) {
            auto byte = ReadBus(ctx, read.step);
            if (!byte) return false;
            ctx.chip.lockFuse[read.slot] = *byte;
        }
        return true;
    });
}

bool ReadLockBits(Context& ctx, const PagedUnit& unit)
{
    return ReadFuseByte(ctx, " read lock-bits", {0x0A, 0x10}, unit.readLockText, LockSlot(unit),
                        unit.lockReadForced);
}

bool WriteLockBits(Context& ctx, const PagedUnit& unit)
{
    return WriteFuseByte(ctx, " write lock-bits", kWriteLock, LockSlot(unit), nullptr, {});
}

bool WriteFuseLow(Context& ctx, const PagedUnit& unit)
{
    return WriteFuseByte(ctx, " write fuse low byte", kWriteFuse, 0, nullptr, unit.fuseLowPulse);
}

bool WriteFuseHigh(Context& ctx, const PagedUnit& unit)
{
    return WriteFuseByte(ctx, " write fuse high byte", kWriteFuse, 1, &unit.fuseHighSelect,
                         {{Packet{Pulse(GiveWRNegPulse)}, unit.fuseHighPulseText}});
}

bool WriteFuseExtended(Context& ctx, const PagedUnit& unit)
{
    return WriteFuseByte(ctx, " write fuse extended byte", kWriteFuse, 2, &unit.fuseExtendedSelect, {});
}

bool ReadFuseLow(Context& ctx, const PagedUnit& unit)
{
    return ReadFuseByte(ctx, " read fuse low byte", {0x08, 0x10}, unit.readFuseLowText, 0);
}

bool ReadFuseHigh(Context& ctx, const PagedUnit& unit)
{
    return ReadFuseByte(ctx, " read fuse high byte", unit.fuseHighRead, " read Fuse High byte", 1);
}

bool ReadFuseExtended(Context& ctx, const PagedUnit& unit)
{
    return ReadFuseByte(ctx, " read fuse extended byte", unit.fuseExtendedRead, " read Fuse Extended byte", 2);
}

bool ReadCalibration(Context& ctx, const PagedUnit& unit)
{
    const PagedCalibration& cal = unit.calibration;
    return Logged(
        ctx, " read calibration bytes",
        [&] {
            if (!LoadCommand(ctx, kReadSignatureCalibration)) return false;
            const std::uint8_t count = std::min(ctx.chip.calibrationCount, cal.maxBytes);
            for (std::uint8_t i = 0; i < count && i < ctx.chip.calibration.size(); ++i) {
                if (!LoadAddressLow(ctx, i)) return false;
                if (cal.select && !Send(ctx, *cal.select)) return false;
                auto byte = ReadBus(ctx, cal.read);
                if (!byte) return false;
                ctx.chip.calibration[i] = *byte;
            }
            return true;
        },
        "");
}

}  // namespace quillon::paged
