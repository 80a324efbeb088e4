#include "chips/ClassicFamily.h"

#include "chips/Hvpp.h"

namespace quillon::classic {

namespace {

using namespace hvpp;

constexpr Packet kWrPulse{Pulse(GiveWRNegPulse)};

// A WR pulse that programs: the delay value, then the ready wait.
bool Program(Bus& bus, std::string_view text)
{
    if (!SendStep(bus, kWrPulse, text)) return false;
    bus.Delay();
    return WaitReady(bus);
}

bool EepromAddress(Bus& bus, const Target& target, std::uint32_t address)
{
    // Only the chips with more than 256 bytes of EEPROM (AT90S8515, AT90S8535) have the high
    // address byte; the others are never sent one.
    if (target.eepromSize > 256 && !LoadAddressHigh(bus, Byte(address >> 8)))
        return false;
    return LoadAddressLow(bus, Byte(address));
}

// The read command at the first word, then the word's address.
bool SelectFlashWord(Bus& bus, std::int32_t pos)
{
    const std::uint32_t word = Pos(pos) >> 1;
    if (pos == 0 && !LoadCommand(bus, kReadFlash)) return false;
    return LoadAddressHigh(bus, Byte(word >> 8)) && LoadAddressLow(bus, Byte(word));
}

bool SelectEepromByte(Bus& bus, const Target& target, std::int32_t pos)
{
    if (pos == 0 && !LoadCommand(bus, kReadEeprom)) return false;
    return EepromAddress(bus, target, Pos(pos));
}

}  // namespace

bool EnterProgMode(Bus& bus, const Target&, const ClassicUnit& unit)
{
    return quillon::EnterProgMode(bus, PowerUp::BuiltIn, *unit.entryTexts);
}

bool EraseChip(Bus& bus, const Target&, const ClassicUnit&)
{
    return Logged(bus, " erase the chip", [&] {
        if (!LoadCommand(bus, kChipErase)) return false;
        // The long pulse is timed by the gateway; these chips report no busy state after it.
        if (!SendStep(bus, Packet{Pulse(GiveWR100NegPulse)}, " GiveWR100NegPulse")) return false;
        bus.Delay();
        return true;
    });
}

bool ReadFlashWord(Bus& bus, const Target&, const ClassicUnit&, std::int32_t pos, std::span<std::uint8_t> bytes,
                   ReadMode verify)
{
    return SelectFlashWord(bus, pos) && ReadWord(bus, bytes, verify);
}

bool RequestFlashWord(Bus& bus, const Target&, const ClassicUnit&, std::int32_t pos)
{
    return SelectFlashWord(bus, pos) && RequestWord(bus);
}

bool WriteFlashWord(Bus& bus, const Target&, const ClassicUnit& unit, std::int32_t pos,
                    std::span<const std::uint8_t> bytes)
{
    const std::uint32_t word = Pos(pos) >> 1;
    if (pos == 0 && !LoadCommand(bus, kWriteFlash)) return false;
    // The chip keeps the high address byte latched; it changes every 256 words.
    if ((word & 0xFF) == 0 && !LoadAddressHigh(bus, Byte(word >> 8))) return false;
    if (!LoadAddressLow(bus, Byte(word))) return false;
    if (!LoadDataLow(bus, bytes[0]) || !Program(bus, unit.firstFlashPulseText)) return false;
    // Loading the high byte leaves BS1 high, which selects it for the second pulse.
    return LoadDataHigh(bus, bytes[1]) && Program(bus, " GiveWRNegPulse");
}

bool ReadEepromByte(Bus& bus, const Target& target, const ClassicUnit&, std::int32_t pos,
                    std::span<std::uint8_t> byte, ReadMode verify)
{
    return SelectEepromByte(bus, target, pos) && ReadEepromInto(bus, byte[0], verify);
}

bool RequestEepromByte(Bus& bus, const Target& target, const ClassicUnit&, std::int32_t pos)
{
    return SelectEepromByte(bus, target, pos) && hvpp::RequestEepromByte(bus);
}

bool WriteEepromByte(Bus& bus, const Target& target, const ClassicUnit&, std::int32_t pos,
                     std::span<const std::uint8_t> byte)
{
    if (pos == 0 && !LoadCommand(bus, kWriteEeprom)) return false;
    return EepromAddress(bus, target, Pos(pos)) && LoadDataLow(bus, byte[0]) &&
           Program(bus, " GiveWRNegPulse");
}

bool ReadFuseLockBits(Bus& bus, const Target&, const ClassicUnit& unit, FuseSlots slot)
{
    return Logged(bus, unit.fuseLockReadText, [&] {
        if (!LoadCommand(bus, kReadFuseLock)) return false;
        if (unit.fuseLockRead == FuseLockRead::FuseThenLock) {
            auto fuse = ReadBus(bus, {Packet{SetDDRB(0x00), SetPORTD(0x10), ReadPINB()}, " read Fuse byte"});
            if (!fuse) return false;
            slot[0] = *fuse | 0xC0;
            auto lock = ReadBus(bus, {Packet{SetPORTC(0x0A), ReadPINB(), SetPORTD(PD_WORK)}, " read Lock byte"});
            if (!lock) return false;
            slot[1] = *lock | 0xF9;
            return true;
        }
        auto b = ReadBus(bus, {Packet{SetPORTC(0x0A), SetDDRB(0x00), SetPORTD(0x10), ReadPINB(), SetPORTD(PD_WORK)},
                               " read Fuse & Lock byte"});
        if (!b) return false;
        StoreCombinedFuseLock(slot, *b);
        return true;
    });
}

bool WriteFuseLow(Bus& bus, const Target&, const ClassicUnit& unit, ConstFuseSlots slots)
{
    auto body = [&] {
        if (!LoadCommand(bus, kWriteFuse) || !LoadDataLow(bus, slots[0])) return false;
        // The fuse pulse is timed by the gateway; no ready wait follows it.
        if (!SendStep(bus, Packet{Pulse(GiveWR15NegPulse)}, " GiveWR15NegPulse")) return false;
        bus.Delay();
        return true;
    };
    if (unit.writeFuseOpening.empty()) {
        if (!body()) return false;
        bus.log.LogMessage(LogFinished, " with success.");
        return true;
    }
    return Logged(bus, unit.writeFuseOpening, body);
}

bool WriteLockBits(Bus& bus, const Target&, const ClassicUnit&, ConstFuseSlots slots)
{
    return Logged(bus, " write lock-bits", [&] {
        return LoadCommand(bus, kWriteLock) && LoadDataLow(bus, slots[1]) &&
               Program(bus, " GiveWRNegPulse");
    });
}

}  // namespace quillon::classic
