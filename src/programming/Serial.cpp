#include "programming/Serial.h"

#include <string>

#include "gateway/Bus.h"
#include "gateway/Commands.h"
#include "gateway/Step.h"

namespace quillon {

namespace {

constexpr int kSyncWaitMs = 20;

std::string HexByte(std::uint8_t value)
{
    constexpr char kDigits[] = "0123456789ABCDEF";
    return {'0', 'x', kDigits[value >> 4], kDigits[value & 0xF]};
}

bool LoadAndExchange(Bus& bus, std::uint8_t i1, std::uint8_t i2, std::uint8_t i3,
                     std::uint8_t i4, std::string_view failText)
{
    return SendStep(bus, Packet{SpiLoad(i1, i2, i3, i4)}, failText) &&
           SendStep(bus, Packet{SpiExchange()}, " 0x46");
}

// The gateway's answer: the four bytes the chip shifted out, then four filler bytes of its own.
constexpr int kChipBytes = 4;

std::optional<SpiReply> Refused(Bus& bus, const std::string& why)
{
    bus.log.LogMessage(LogText, why);
    StepFailed(bus, LogAnswerError, kSpiReadBackAnswer.whatText);
    return std::nullopt;
}

// A gateway may leave off its filler (the link holds it to one length), never part of it: an
// answer between the two lost a byte. Answer byte 1 is what the chip shifted out while I3 went
// in: I2, echoed. When it is not, a byte of the answer was lost or doubled on the way (or the
// chip stopped answering), and byte 0 is not the data. Either fails as if the answer had not come.
std::optional<SpiReply> ReplyOf(Bus& bus, const std::optional<Answer>& answer, std::optional<std::uint8_t> echo)
{
    if (!answer) return std::nullopt;
    if (answer->count > kChipBytes && answer->count < kSpiReadBackAnswer.count)
        return Refused(bus, "The gateway answered " + std::to_string(answer->count) + " of " +
                                std::to_string(kSpiReadBackAnswer.count) + " bytes: an incomplete answer is not used");
    if (echo && answer->data[1] != *echo)
        return Refused(bus, "The chip's answer does not echo the instruction (" + HexByte(answer->data[1]) + " where " +
                                HexByte(*echo) + " went out): its bytes are not in their places");
    return SpiReply{answer->data[0], answer->data[1]};
}

std::optional<SpiReply> Query(Bus& bus, std::uint8_t i1, std::uint8_t i2, std::uint8_t i3, std::uint8_t i4,
                              std::string_view failText, std::optional<std::uint8_t> echo)
{
    if (!LoadAndExchange(bus, i1, i2, i3, i4, failText)) return std::nullopt;
    bus.Delay();
    if (!SendStep(bus, Packet{SpiReadBack()}, " 0x45")) return std::nullopt;
    return ReplyOf(bus, ReadStep(bus, kSpiReadBackAnswer), echo);
}

}  // namespace

bool SpiInstruction(Bus& bus, std::uint8_t i1, std::uint8_t i2, std::uint8_t i3,
                    std::uint8_t i4, int waitMs, std::string_view failText)
{
    if (!LoadAndExchange(bus, i1, i2, i3, i4, failText)) return false;
    bus.Delay();
    bus.Sleep(waitMs);
    return true;
}

std::optional<SpiReply> SpiQuery(Bus& bus, std::uint8_t i1, std::uint8_t i2,
                                 std::uint8_t i3, std::uint8_t i4, std::string_view failText)
{
    // Programming Enable's echo is what says whether the chip is in step at all: its caller's
    // question, with its own answer.
    const bool enable = i1 == 0xAC && i2 == 0x53;
    return Query(bus, i1, i2, i3, i4, failText, enable ? std::nullopt : std::optional<std::uint8_t>(i2));
}

bool SpiRequest(Bus& bus, std::uint8_t i1, std::uint8_t i2, std::uint8_t i3, std::uint8_t i4,
                std::string_view failText)
{
    if (!LoadAndExchange(bus, i1, i2, i3, i4, failText)) return false;
    bus.Delay();
    return SendOwingStep(bus, Packet{SpiReadBack()}, " 0x45", kSpiReadBackAnswer);
}

std::optional<SpiReply> SpiCollect(Bus& bus, std::uint8_t i2)
{
    return ReplyOf(bus, ReadStep(bus, kSpiReadBackAnswer), i2);
}

bool EnterSerialProgMode(Bus& bus, std::string_view tryText)
{
    bus.log.LogMessage(LogTrying, tryText);
    if (!SendStep(bus, Packet{SpiBegin()}, " 0x48")) return false;
    bus.Delay();
    if (!SendStep(bus, Packet{SpiSync()}, " 0x47")) return false;
    bus.Sleep(kSyncWaitMs);
    auto reply = SpiQuery(bus, 0xAC, 0x53, 0x00, 0x00, " 0x44 0x00 0x00 0x53 0xAC");
    if (!reply) return false;
    if (reply->byte1 != 0x53) return false;  // not in step: silent, port stays open
    bus.log.LogMessage(LogFinished, " with success.");
    return true;
}

std::optional<std::int32_t> ReadSerialSignature(Bus& bus)
{
    bus.log.LogMessage(LogTrying, " read signature bytes");
    std::int32_t signature = 0;
    for (std::uint8_t address = 0; address < 3; ++address) {
        auto reply = SpiQuery(bus, 0x30, 0x00, address, 0x00, " 0x44 0x00 a 0x00 0x30");
        if (!reply) return std::nullopt;
        signature |= static_cast<std::int32_t>(reply->byte0) << (8 * address);
    }
    bus.log.LogMessage(LogFinished, "");
    return signature;
}

}  // namespace quillon
