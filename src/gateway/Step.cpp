#include "gateway/Step.h"

#include "core/Context.h"

namespace quillon {

bool SendStep(Context& ctx, const Packet& packet, std::string_view failText)
{
    if (ctx.link.SendPacket(packet)) return true;
    ctx.log.LogMessage(LogExecError, failText);
    ctx.link.ClosePort();
    return false;
}

std::optional<Answer> ReadStep(Context& ctx, int count, std::string_view whatText, int used)
{
    Answer answer = ctx.link.ReadAnswer(count, used);
    if (answer.count > 0) return answer;
    ctx.log.LogMessage(LogAnswerError, whatText);
    ctx.link.ClosePort();
    return std::nullopt;
}

std::optional<std::uint8_t> ReadBusStep(Context& ctx, const Packet& packet, std::string_view failText)
{
    if (!SendStep(ctx, packet, failText)) return std::nullopt;
    auto answer = ReadStep(ctx, 1, " (PINB)");
    if (!answer) return std::nullopt;
    return answer->data[0];
}

}  // namespace quillon
