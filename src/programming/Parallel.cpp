#include "programming/Parallel.h"

#include "gateway/Bus.h"
#include "gateway/Commands.h"
#include "gateway/Step.h"

namespace quillon {

namespace {

constexpr int kReadyPolls = 50;

// A load step: set the control lines, drive the byte, latch it with an XTAL1 pulse.
struct LoadStep {
    std::uint8_t portC;
    std::uint8_t portD;
    std::string_view linesText;
    std::string_view byteText;
    std::string_view latchText;
};

constexpr LoadStep kLoadCommand{0x18, 0x14, " set XA1, XA0 = 10, BS1, BS2 = 00", " set Command",
                                " GiveXtalPosPulse"};
constexpr LoadStep kLoadAddressLow{0x08, 0x14, " set XA1, XA0 = 00, BS1, BS2 = 00",
                                   " Load Address Low Byte", " 0x1D 0x02"};
constexpr LoadStep kLoadAddressHigh{0x0A, 0x14, " set XA1, XA0 = 00, BS1, BS2 = 10", " 0x0D a",
                                    " 0x1D 0x02"};
constexpr LoadStep kLoadAddressExtended{0x08, 0x94, " set XA1, XA0 = 00, BS1, BS2 = 01", " 0x0D a",
                                        " 0x1D 0x02"};
constexpr LoadStep kLoadDataLow{0x08, 0x54, " set XA1, XA0 = 01, BS1, BS2 = 00", " Load Data Low Byte",
                                " 0x1D 0x02"};
constexpr LoadStep kLoadDataHigh{0x0A, 0x54, " set XA1, XA0 = 01, BS1, BS2 = 10", " Load Data High Byte",
                                 " 0x1D 0x02"};

bool Load(Bus& bus, const LoadStep& step, std::uint8_t value)
{
    return SendStep(bus, Packet{SetPORTC(step.portC), SetPORTD(step.portD)}, step.linesText) &&
           SendStep(bus, Packet{SetDDRB(0xFF), SetPORTB(value)}, step.byteText) &&
           SendStep(bus, Packet{Pulse(GiveXtalPosPulse)}, step.latchText);
}

// 1 ms for the supply to settle, then the user's extra delay.
void SettleWait(Bus& bus)
{
    bus.Sleep(1);
    bus.Delay();
}

}  // namespace

bool WaitReady(Bus& bus)
{
    for (int poll = 0; poll < kReadyPolls; ++poll) {
        if (!SendStep(bus, Packet{ReadPINC()}, " PINCRead")) return false;
        auto answer = ReadStep(bus, 1, " (PINC)");
        if (!answer) return false;
        if (answer->data[0] & 0x01) return true;
        bus.Sleep(1);
    }
    // The gateway answered throughout; it is the chip that stayed busy.
    bus.log.LogMessage(LogText, "The chip did not become ready after the programming pulse");
    return false;
}

bool LoadCommand(Bus& bus, std::uint8_t command) { return Load(bus, kLoadCommand, command); }
bool LoadAddressLow(Bus& bus, std::uint8_t address) { return Load(bus, kLoadAddressLow, address); }
bool LoadAddressHigh(Bus& bus, std::uint8_t address) { return Load(bus, kLoadAddressHigh, address); }
bool LoadAddressExtended(Bus& bus, std::uint8_t address)
{
    return Load(bus, kLoadAddressExtended, address);
}
bool LoadDataLow(Bus& bus, std::uint8_t data) { return Load(bus, kLoadDataLow, data); }
bool LoadDataHigh(Bus& bus, std::uint8_t data) { return Load(bus, kLoadDataHigh, data); }

bool EnterProgMode(Bus& bus, PowerUp powerUp, const EntryTexts& texts)
{
    bus.log.LogMessage(LogTrying, " enter Programming Mode");
    // Every entry starts from all lines low, whatever the socket was left in.
    if (!SendStep(bus, Packet{SetDDRB(0x00), SetPORTB(0x00)}, texts.bus)) return false;
    if (!SendStep(bus, Packet{SetDDRC(0x32), SetPORTC(0x00)}, texts.portC)) return false;
    if (!SendStep(bus, Packet{SetDDRD(0xFC), SetPORTD(0x00)}, texts.portD)) return false;
    SettleWait(bus);
    if (powerUp == PowerUp::BuiltIn) {
        if (!SendStep(bus, Packet{Pulse(EnterHVPPrgMode_AVR)}, texts.powerUp)) return false;
    } else {
        if (!SendStep(bus, Packet{SetDDRC(0x36)}, texts.plus5V)) return false;
        for (int i = 0; i < 6; ++i)
            if (!SendStep(bus, Packet{Pulse(GiveXtalPosPulse)}, texts.xtalPulse)) return false;
        if (!SendStep(bus, Packet{SetDDRC(0x3E), SetPORTC(0x08)}, texts.plus12V)) return false;
    }
    SettleWait(bus);
    if (!SendStep(bus, Packet{SetPORTD(PD_WORK)}, texts.work)) return false;
    bus.log.LogMessage(LogFinished, " with success.");
    return true;
}

bool ExitProgMode(Bus& bus)
{
    bus.log.LogMessage(LogTrying, " exit Programming Mode");
    // +12 V off while the switch line is still driven, then release the supply lines.
    if (!SendStep(bus, Packet{SetPORTC(0x00), SetDDRC(0x32)}, " 0x11 0x0 0x0F 0x32")) return false;
    SettleWait(bus);
    bus.log.LogMessage(LogFinished, " with success.");
    return true;
}

bool PowerDownSocket(Bus& bus)
{
    return SendStep(bus, Packet{SetPORTC(0x00), SetDDRC(0x32)}, " 0x11 0x0 0x0F 0x32");
}

std::int32_t ReadSignature(Bus& bus)
{
    bus.log.LogMessage(LogTrying, " read signature bytes");
    if (!LoadCommand(bus, 0x08)) return 0;
    std::int32_t signature = 0;
    for (std::uint8_t address = 0; address < 3; ++address) {
        if (!LoadAddressLow(bus, address)) return 0;
        auto byte = ReadBusStep(bus, Packet{SetDDRB(0x00), SetPORTD(0x10), ReadPINB(), SetPORTD(PD_WORK)},
                                " Read Signature Bytes");
        if (!byte) return 0;
        signature |= static_cast<std::int32_t>(*byte) << (8 * address);
    }
    bus.log.LogMessage(LogFinished, "");
    return signature;
}

}  // namespace quillon
