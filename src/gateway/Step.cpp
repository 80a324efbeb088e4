#include "gateway/Step.h"

#include "gateway/Bus.h"

namespace quillon {

void StepFailed(Bus& bus, int index, std::string_view text)
{
    bus.log.LogMessage(index, text);
    bus.link.CloseAfterFailure({FailureKind::Link, std::string(LogPrefix(index)) + std::string(text)});
}

Failure StepsFailure(const Bus& bus)
{
    if (bus.link.IsOpen()) return {FailureKind::Chip, {}};
    Failure failure = bus.link.WhyClosed();
    failure.kind = FailureKind::Link;
    return failure;
}

bool SendStep(Bus& bus, const Packet& packet, std::string_view failText)
{
    if (bus.link.SendPacket(packet)) return true;
    StepFailed(bus, LogExecError, failText);
    return false;
}

bool SendOwingStep(Bus& bus, const Packet& packet, std::string_view failText, const AnswerShape& answer)
{
    if (bus.link.SendPacket(packet, answer.count)) return true;
    StepFailed(bus, LogExecError, failText);
    return false;
}

std::optional<Answer> ReadStep(Bus& bus, int count, std::string_view whatText, int used)
{
    Answer answer = bus.link.ReadAnswer(count, used);
    if (answer.count > 0) return answer;
    StepFailed(bus, LogAnswerError, whatText);
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
