#include "chips/ClassicFamily.h"

#include "chips/Hvpp.h"

namespace quillon::classic {

namespace {

using namespace hvpp;

constexpr Packet kWrPulse{Pulse(GiveWRNegPulse)};

// A WR pulse that programs: the delay value, then the ready wait.
bool Program(Context& ctx, std::string_view text)
{
    if (!SendStep(ctx, kWrPulse, text)) return false;
    ctx.Delay();
    return WaitReady(ctx);
}

bool EepromAddress(Context& ctx, std::uint32_t address)
{
    // Only the chips with more than 256 bytes of EEPROM (AT90S8515, AT90S8535) have the high
    // address byte; the others are never sent one.
    if (ctx.chip.eepromSize > 256 && !LoadAddressHigh(ctx, Byte(address >> 8)))
        return false;
    return LoadAddressLow(ctx, Byte(address));
}

}  // namespace

bool EnterProgMode(Context& ctx, const ClassicUnit& unit)
{
    return quillon::EnterProgMode(ctx, PowerUp::BuiltIn, *unit.entryTexts);
}

bool EraseChip(Context& ctx, const ClassicUnit&)
{
    return Logged(ctx, " erase the chip", [&] {
        if (!LoadCommand(ctx, kChipErase)) return false;
        // The long pulse is timed by the gateway; these chips report no busy state after it.
        if (!SendStep(ctx, Packet{Pulse(GiveWR100NegPulse)}, " GiveWR100NegPulse")) return false;
        ctx.Delay();
        return true;
    });
}

bool ReadFlashWord(Context& ctx, const ClassicUnit&, std::int32_t pos, bool verify)
{
    const std::uint32_t word = Pos(pos) >> 1;
    if (pos == 0 && !LoadCommand(ctx, kReadFlash)) return false;
    if (!LoadAddressHigh(ctx, Byte(word >> 8)) || !LoadAddressLow(ctx, Byte(word))) return false;
    return ReadWord(ctx, pos, verify);
}

bool WriteFlashWord(Context& ctx, const ClassicUnit& unit, std::int32_t pos)
{
    const std::uint32_t word = Pos(pos) >> 1;
    if (pos == 0 && !LoadCommand(ctx, kWriteFlash)) return false;
    // The chip keeps the high address byte latched; it changes every 256 words.
    if ((word & 0xFF) == 0 && !LoadAddressHigh(ctx, Byte(word >> 8))) return false;
    if (!LoadAddressLow(ctx, Byte(word))) return false;
    if (!LoadDataLow(ctx, ctx.chip.flash[Pos(pos)]) || !Program(ctx, unit.firstFlashPulseText)) return false;
    // Loading the high byte leaves BS1 high, which selects it for the second pulse.
    return LoadDataHigh(ctx, ctx.chip.flash[Pos(pos) + 1]) && Program(ctx, " GiveWRNegPulse");
}

bool ReadEepromByte(Context& ctx, const ClassicUnit&, std::int32_t pos, bool verify)
{
    if (pos == 0 && !LoadCommand(ctx, kReadEeprom)) return false;
    return EepromAddress(ctx, Pos(pos)) && ReadEepromInto(ctx, pos, verify);
}

bool WriteEepromByte(Context& ctx, const ClassicUnit&, std::int32_t pos)
{
    if (pos == 0 && !LoadCommand(ctx, kWriteEeprom)) return false;
    return EepromAddress(ctx, Pos(pos)) && LoadDataLow(ctx, ctx.chip.eeprom[Pos(pos)]) &&
           Program(ctx, " GiveWRNegPulse");
}

bool ReadFuseLockBits(Context& ctx, const ClassicUnit& unit)
{
    auto& slot = ctx.chip.lockFuse;
    return Logged(ctx, unit.fuseLockReadText, [&] {
        if (!LoadCommand(ctx, kReadFuseLock)) return false;
        if (unit.fuseLockRead == FuseLockRead::FuseThenLock) {
            auto fuse = ReadBus(ctx, {Packet{SetDDRB(0x00), SetPORTD(0x10), ReadPINB()}, " read Fuse byte"});
            if (!fuse) return false;
            slot[0] = *fuse | 0xC0;
            auto lock = ReadBus(ctx, {Packet{SetPORTC(0x0A), ReadPINB(), SetPORTD(PD_WORK)}, " read Lock byte"});
            if (!lock) return false;
            slot[1] = *lock | 0xF9;
            return true;
        }
        auto b = ReadBus(ctx, {Packet{SetPORTC(0x0A), SetDDRB(0x00), SetPORTD(0x10), ReadPINB(), SetPORTD(PD_WORK)},
                               " read Fuse & Lock byte"});
        if (!b) return false;
        StoreCombinedFuseLock(ctx.chip, *b);
        return true;
    });
}

bool WriteFuseLow(Context& ctx, const ClassicUnit& unit)
{
    auto body = [&] {
        if (!LoadCommand(ctx, kWriteFuse) || !LoadDataLow(ctx, ctx.chip.lockFuse[0])) return false;
        // The fuse pulse is timed by the gateway; no ready wait follows it.
        if (!SendStep(ctx, Packet{Pulse(GiveWR15NegPulse)}, " GiveWR15NegPulse")) return false;
        ctx.Delay();
        return true;
    };
    if (unit.writeFuseOpening.empty()) {
        if (!body()) return false;
        ctx.log.LogMessage(LogFinished, " with success.");
        return true;
    }
    return Logged(ctx, unit.writeFuseOpening, body);
}

bool WriteLockBits(Context& ctx, const ClassicUnit&)
{
    return Logged(ctx, " write lock-bits", [&] {
        return LoadCommand(ctx, kWriteLock) && LoadDataLow(ctx, ctx.chip.lockFuse[1]) &&
               Program(ctx, " GiveWRNegPulse");
    });
}

}  // namespace quillon::classic
