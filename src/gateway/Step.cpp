#include "gateway/Step.h"

#include "gateway/Bus.h"

namespace quillon {

bool SendStep(Bus& bus, const Packet& packet, std::string_view failText)
{
    if (bus.link.SendPacket(packet)) return true;
    bus.LogFailure(LogExecError, failText);
    bus.link.CloseAfterFailure();
    return false;
}

bool SendOwingStep(Bus& bus, const Packet& packet, std::string_view failText, const AnswerShape& answer)
{
    if (bus.link.SendPacket(packet, answer.count)) return true;
    bus.LogFailure(LogExecError, failText);
    bus.link.CloseAfterFailure();
    return false;
}

std::optional<Answer> ReadStep(Bus& bus, int count, std::string_view whatText, int used)
{
    Answer answer = bus.link.ReadAnswer(count, used);
    if (answer.count > 0) return answer;
    bus.LogFailure(LogAnswerError, whatText);
    bus.link.CloseAfterFailure();
    return std::nullopt;
}

std::optional<std::uint8_t> ReadBusStep(Bus& bus, const Packet& packet, std::string_view failText)
{
    if (!SendStep(bus, packet, failText)) return std::nullopt;
    auto answer = ReadStep(bus, 1, " (PINB)");
    if (!answer) return std::nullopt;
    return answer->data[0];
}

}  // namespace quillon
