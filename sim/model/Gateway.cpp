// The gateway firmware: framing, registers, pulses, SPI unit and handshake.
#include "model/Gateway.h"

#include <algorithm>

#include "model/HexText.h"

namespace quillon::sim {

namespace {

bool Bit(std::uint8_t v, int bit) { return ((v >> bit) & 1) != 0; }

}  // namespace

std::optional<std::size_t> CommandArguments(std::uint8_t command)
{
    switch (command) {
    case 0x0B: case 0x0D: case 0x0F: case 0x11: case 0x13: case 0x15: case 0x1D:
        return 1;
    case 0x17: case 0x18: case 0x45: case 0x46: case 0x47: case 0x48: case 0x1E: case 0x04:
        return 0;
    case 0x0A:
        return 2;
    case 0x44:
        return 4;
    default:
        return std::nullopt;
    }
}

Gateway::Gateway(std::unique_ptr<SocketChip> chip)
{
    InsertChip(std::move(chip));
}

void Gateway::InsertChip(std::unique_ptr<SocketChip> chip)
{
    chip_ = std::move(chip);
    if (chip_) chip_->SetNote([this](const std::string& text) { Note(GatewayEvent::Kind::Diagnostic, text); });
}

void Gateway::Note(GatewayEvent::Kind kind, std::string text)
{
    // A runaway stream must not grow the list without bound.
    constexpr std::size_t kMaxEvents = 10000;
    if (events_.size() < kMaxEvents) events_.push_back({kind, now_, std::move(text)});
}

std::vector<std::string> Gateway::ProtocolErrors() const
{
    std::vector<std::string> out;
    for (const auto& e : events_)
        if (e.kind == GatewayEvent::Kind::ProtocolError) out.push_back(e.text);
    return out;
}

std::vector<std::string> Gateway::Diagnostics() const
{
    std::vector<std::string> out;
    for (const auto& e : events_)
        if (e.kind == GatewayEvent::Kind::Diagnostic) out.push_back(e.text);
    return out;
}

SocketLines Gateway::Lines() const
{
    // An output drives its PORT value; an input line is pulled low in the socket.
    auto level = [](std::uint8_t ddr, std::uint8_t port, int bit) { return Bit(ddr, bit) && Bit(port, bit); };
    SocketLines l;
    l.vcc = Bit(regs_.ddrc, 2) && !Bit(regs_.portc, 2);
    l.vpp = Bit(regs_.ddrc, 3) && Bit(regs_.portc, 3);
    l.bs1 = level(regs_.ddrc, regs_.portc, 1);
    l.xa1 = level(regs_.ddrc, regs_.portc, 4);
    l.oe = level(regs_.ddrd, regs_.portd, 2);
    l.wr = level(regs_.ddrd, regs_.portd, 4);
    l.xa0 = level(regs_.ddrd, regs_.portd, 6);
    l.bs2 = level(regs_.ddrd, regs_.portd, 7);
    return l;
}

bool Gateway::SocketPowered() const
{
    const SocketLines l = Lines();
    return l.vcc || l.vpp || spiActive_;
}

std::string Gateway::SocketPower() const
{
    if (!SocketPowered()) return "off";
    const SocketLines l = Lines();
    std::string on = "on:";
    if (l.vcc) on += " +5V";
    if (l.vpp) on += " +12V";
    if (spiActive_) on += " SPI";
    return on;
}

std::uint8_t Gateway::PinB()
{
    std::optional<std::uint8_t> chipOut;
    if (chip_) chipOut = chip_->BusOutput(Lines());
    const std::uint8_t driven = regs_.ddrb;
    if (chipOut && driven)
        Note(GatewayEvent::Kind::Diagnostic, "bus contention: gateway drives DDRB " + Hex2(driven) +
                                                 " while the chip's outputs are enabled");
    // Undriven lines float high.
    const std::uint8_t other = chipOut.value_or(0xFF);
    return static_cast<std::uint8_t>((driven & regs_.portb) | (~driven & other));
}

std::uint8_t Gateway::PinC() const
{
    bool ready = false;
    if (chip_ && !faults_.neverReady) {
        if (auto r = chip_->ReadyOutput(now_)) ready = *r;
    }
    return static_cast<std::uint8_t>((regs_.portc & 0xFE) | (ready ? 1 : 0));
}

void Gateway::Feed(std::span<const std::uint8_t> bytes)
{
    for (std::uint8_t b : bytes) {
        if (pending_.empty()) {
            auto need = CommandArguments(b);
            if (!need) {
                Note(GatewayEvent::Kind::ProtocolError, "unknown command byte " + Hex2(b));
                continue;
            }
            pending_.push_back(b);
            pendingNeed_ = *need;
        } else {
            pending_.push_back(b);
        }
        if (pending_.size() == pendingNeed_ + 1) {
            const std::vector<std::uint8_t> cmd = std::move(pending_);
            pending_.clear();
            Execute(cmd[0], std::span(cmd).subspan(1));
        }
    }
    if (!pending_.empty())
        Note(GatewayEvent::Kind::ProtocolError,
             "command " + Hex2(pending_[0]) + " cut at the end of a packet; waiting for its arguments");
}

void Gateway::ApplyRegisters()
{
    if (chip_) chip_->LinesChanged(Lines(), now_);
}

void Gateway::Execute(std::uint8_t command, std::span<const std::uint8_t> args)
{
    auto setSupply = [this](std::uint8_t& reg, std::uint8_t v) {
        reg = v;
        // Touching port C's supply switches hands the socket back to parallel use.
        if (spiActive_ && chip_) chip_->SpiEnd();
        spiActive_ = false;
        ApplyRegisters();
    };
    switch (command) {
    case 0x0B: regs_.ddrb = args[0]; break;
    case 0x0D: regs_.portb = args[0]; break;
    case 0x0F: setSupply(regs_.ddrc, args[0]); break;
    case 0x11: setSupply(regs_.portc, args[0]); break;
    case 0x13: regs_.ddrd = args[0]; ApplyRegisters(); break;
    case 0x15: regs_.portd = args[0]; ApplyRegisters(); break;
    case 0x17: output_.push_back(PinB()); break;
    case 0x18: output_.push_back(PinC()); break;
    case 0x1D: DoPulse(args[0]); break;
    case 0x44:
        // The instruction arrives last byte first.
        spiLoaded_ = {args[3], args[2], args[1], args[0]};
        break;
    case 0x46:
        if (!spiActive_ || !chip_) {
            spiReceived_ = {0xFF, 0xFF, 0xFF, 0xFF};
            Note(GatewayEvent::Kind::Diagnostic, "SpiExchange without SpiBegin: nothing shifted in");
        } else {
            spiReceived_ = chip_->SpiTransfer(spiLoaded_, now_);
        }
        break;
    case 0x45: {
        // Last received first, then four filler bytes (0x00) so the answer is 8 bytes long.
        const std::uint8_t answer[8] = {spiReceived_[3], spiReceived_[2], spiReceived_[1],
                                        spiReceived_[0], 0x00, 0x00, 0x00, 0x00};
        int n = 8;
        if (faults_.spiAnswerBytes) n = std::clamp(*faults_.spiAnswerBytes, 0, 8);
        for (int i = 0; i < n; ++i) output_.push_back(answer[i]);
        break;
    }
    case 0x48:
        spiActive_ = true;
        if (chip_) chip_->SpiBegin(now_);
        break;
    case 0x47:
        if (!spiActive_) Note(GatewayEvent::Kind::Diagnostic, "SpiSync without SpiBegin");
        if (chip_ && spiActive_) chip_->SpiSync(now_);
        break;
    case 0x0A:
    case 0x1E:
        break;  // handshake set-up: nothing the socket sees
    case 0x04:
        output_.push_back(kProbeAnswer);
        break;
    default:
        break;
    }
}

void Gateway::DoPulse(std::uint8_t code)
{
    const SocketLines lines = Lines();
    switch (code) {
    case 0x00: {
        const bool allLow = regs_.ddrb == 0x00 && regs_.portb == 0x00 && regs_.ddrc == 0x32 &&
                            regs_.portc == 0x00 && regs_.ddrd == 0xFC && regs_.portd == 0x00;
        if (!allLow)
            Note(GatewayEvent::Kind::Diagnostic,
                 "EnterHVPPrgMode_AVR from a state that is not all inputs and all low");
        // +5 V, six XTAL1 pulses with the bus low, then +12 V on RESET.
        regs_.ddrc = 0x36;
        ApplyRegisters();
        for (int i = 0; i < 6; ++i)
            if (chip_) chip_->XtalPulse(Lines(), 0x00, now_);
        regs_.ddrc = 0x3E;
        regs_.portc = 0x08;
        ApplyRegisters();
        spiActive_ = false;
        break;
    }
    case 0x01:
        if (chip_) chip_->PagelPulse(lines, now_);
        break;
    case 0x02: {
        const std::uint8_t bus = PinB();
        if (chip_) chip_->XtalPulse(lines, bus, now_);
        break;
    }
    case 0x03:
        if (chip_) chip_->WrStrobe(lines, WrPulse::Normal, now_);
        break;
    case 0x08:
        if (chip_) chip_->WrStrobe(lines, WrPulse::Long100, now_);
        Advance(kWr100Ms);
        break;
    case 0x09:
        if (chip_) chip_->WrStrobe(lines, WrPulse::Long15, now_);
        Advance(kWr15Ms);
        break;
    default:
        Note(GatewayEvent::Kind::ProtocolError, "unknown pulse code " + Hex2(code));
        break;
    }
}

}  // namespace quillon::sim
