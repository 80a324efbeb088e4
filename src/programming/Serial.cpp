#include "programming/Serial.h"

#include "gateway/Bus.h"
#include "gateway/Commands.h"
#include "gateway/Step.h"

namespace quillon {

namespace {

constexpr int kSyncWaitMs = 20;

bool LoadAndExchange(Bus& bus, std::uint8_t i1, std::uint8_t i2, std::uint8_t i3,
                     std::uint8_t i4, std::string_view failText)
{
    return SendStep(bus, Packet{SpiLoad(i1, i2, i3, i4)}, failText) &&
           SendStep(bus, Packet{SpiExchange()}, " 0x46");
}

std::optional<SpiReply> ReplyOf(const std::optional<Answer>& answer)
{
    if (!answer) return std::nullopt;
    // A short answer of one byte has no byte 1: it reads as 0, never as stale data.
    return SpiReply{answer->data[0], answer->count > 1 ? answer->data[1] : std::uint8_t{0}};
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
    if (!LoadAndExchange(bus, i1, i2, i3, i4, failText)) return std::nullopt;
    bus.Delay();
    if (!SendStep(bus, Packet{SpiReadBack()}, " 0x45")) return std::nullopt;
    return ReplyOf(ReadStep(bus, kSpiReadBackAnswer));
}

bool SpiRequest(Bus& bus, std::uint8_t i1, std::uint8_t i2, std::uint8_t i3, std::uint8_t i4,
                std::string_view failText)
{
    if (!LoadAndExchange(bus, i1, i2, i3, i4, failText)) return false;
    bus.Delay();
    return SendOwingStep(bus, Packet{SpiReadBack()}, " 0x45", kSpiReadBackAnswer);
}

std::optional<SpiReply> SpiCollect(Bus& bus)
{
    return ReplyOf(ReadStep(bus, kSpiReadBackAnswer));
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
