#include "operations/CommandFrame.h"

#include "chips/ChipTable.h"
#include "images/HexText.h"
#include "operations/Session.h"
#include "programming/Parallel.h"

namespace quillon {

const ChipRow* LookUpUnit(Session& session, Result& failure)
{
    Log& log = session.bus.log;
    if (session.chip.signature == 0) {
        log.LogMessage(LogNoChip, "");
        failure = Result::Failed(FailureKind::NoChip, LineOf(LogNoChip, ""));
        return nullptr;
    }
    const ChipRow* entry = FindChip(session.chip.signature);
    if (entry == nullptr || entry->driver == nullptr) {
        log.LogMessage(LogSelectedChip, " unknown");
        failure = Result::Failed(FailureKind::UnknownChip, LineOf(LogSelectedChip, " unknown"));
        return nullptr;
    }
    return entry;
}

bool LeaveSocketUnpowered(Session& session)
{
    if (!session.powerDownAfterCommand || !session.bus.link.IsOpen()) return true;
    return PowerDownSocket(session.bus);
}

Result FinishedWithFailure(Session& session, std::string_view text)
{
    Bus& bus = session.bus;
    bus.log.LogMessage(LogFinished, text);
    const std::string finished = LineOf(LogFinished, text);
    if (!bus.LastFailure().empty()) return Result::Failed(FailureKind::Link, bus.LastFailure() + "\n" + finished);
    return Result::Failed(FailureKind::Chip, finished);
}

Result NotOffered(std::string_view finishedText)
{
    std::string words = LineOf(LogNotAvailable, "");
    if (!finishedText.empty()) words += "\n" + LineOf(LogFinished, finishedText);
    return Result::Failed(FailureKind::NotOffered, words);
}

std::string LineOf(int index, std::string_view text)
{
    return std::string(LogPrefix(index)) + std::string(text);
}

std::string AddressDigits(std::uint32_t address)
{
    return HexDigits(address, 4);
}

std::string ByteDigits(std::uint8_t value)
{
    return HexDigits(value, 2);
}

}  // namespace quillon
