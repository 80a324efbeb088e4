#include "programming/Parallel.h"

#include "core/Context.h"
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

bool Load(Context& ctx, const LoadStep& step, std::uint8_t value)
{
    return SendStep(ctx, Packet{SetPORTC(step.portC), SetPORTD(step.portD)}, step.linesText) &&
           SendStep(ctx, Packet{SetDDRB(0xFF), SetPORTB(value)}, step.byteText) &&
           SendStep(ctx, Packet{Pulse(GiveXtalPosPulse)}, step.latchText);
}

// 1 ms for the supply to settle, then the user's extra delay.
void SettleWait(Context& ctx)
{
    ctx.Sleep(1);
    ctx.Delay();
}

}  // namespace

bool WaitReady(Context& ctx)
{
    for (int poll = 0; poll < kReadyPolls; ++poll) {
        if (!SendStep(ctx, Packet{ReadPINC()}, " PINCRead")) return false;
        auto answer = ReadStep(ctx, 1, " (PINC)");
        if (!answer) return false;
        if (answer->data[0] & 0x01) return true;
        ctx.Sleep(1);
    }
    // The gateway answered throughout; it is the chip that stayed busy.
    ctx.log.LogMessage(LogText, "The chip did not become ready after the programming pulse");
    return false;
}

bool LoadCommand(Context& ctx, std::uint8_t command) { return Load(ctx, kLoadCommand, command); }
bool LoadAddressLow(Context& ctx, std::uint8_t address) { return Load(ctx, kLoadAddressLow, address); }
bool LoadAddressHigh(Context& ctx, std::uint8_t address) { return Load(ctx, kLoadAddressHigh, address); }
bool LoadAddressExtended(Context& ctx, std::uint8_t address)
{
    return Load(ctx, kLoadAddressExtended, address);
}
bool LoadDataLow(Context& ctx, std::uint8_t data) { return Load(ctx, kLoadDataLow, data); }
bool LoadDataHigh(Context& ctx, std::uint8_t data) { return Load(ctx, kLoadDataHigh, data); }

bool EnterProgMode(Context& ctx, PowerUp powerUp, const EntryTexts& texts)
{
    ctx.log.LogMessage(LogTrying, " enter Programming Mode");
    // Every entry starts from all lines low, whatever the socket was left in.
    if (!SendStep(ctx, Packet{SetDDRB(0x00), SetPORTB(0x00)}, texts.bus)) return false;
    if (!SendStep(ctx, Packet{SetDDRC(0x32), SetPORTC(0x00)}, texts.portC)) return false;
    if (!SendStep(ctx, Packet{SetDDRD(0xFC), SetPORTD(0x00)}, texts.portD)) return false;
    SettleWait(ctx);
    if (powerUp == PowerUp::BuiltIn) {
        if (!SendStep(ctx, Packet{Pulse(EnterHVPPrgMode_AVR)}, texts.powerUp)) return false;
    } else {
        if (!SendStep(ctx, Packet{SetDDRC(0x36)}, texts.plus5V)) return false;
        for (int i = 0; i < 6; ++i)
            if (!SendStep(ctx, Packet{Pulse(GiveXtalPosPulse)}, texts.xtalPulse)) return false;
        if (!SendStep(ctx, Packet{SetDDRC(0x3E), SetPORTC(0x08)}, texts.plus12V)) return false;
    }
    SettleWait(ctx);
    if (!SendStep(ctx, Packet{SetPORTD(PD_WORK)}, texts.work)) return false;
    ctx.log.LogMessage(LogFinished, " with success.");
    return true;
}

bool ExitProgMode(Context& ctx)
{
    ctx.log.LogMessage(LogTrying, " exit Programming Mode");
    // +12 V off while the switch line is still driven, then release the supply lines.
    if (!SendStep(ctx, Packet{SetPORTC(0x00), SetDDRC(0x32)}, " 0x11 0x0 0x0F 0x32")) return false;
    SettleWait(ctx);
    ctx.log.LogMessage(LogFinished, " with success.");
    return true;
}

std::int32_t ReadSignature(Context& ctx)
{
    ctx.log.LogMessage(LogTrying, " read signature bytes");
    if (!LoadCommand(ctx, 0x08)) return 0;
    std::int32_t signature = 0;
    for (std::uint8_t address = 0; address < 3; ++address) {
        if (!LoadAddressLow(ctx, address)) return 0;
        auto byte = ReadBusStep(ctx, Packet{SetDDRB(0x00), SetPORTD(0x10), ReadPINB(), SetPORTD(PD_WORK)},
                                " Read Signature Bytes");
        if (!byte) return 0;
        signature |= static_cast<std::int32_t>(*byte) << (8 * address);
    }
    ctx.log.LogMessage(LogFinished, "");
    return signature;
}

}  // namespace quillon
