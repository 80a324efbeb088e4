#include "operations/CommandFrame.h"

#include "chips/ChipTable.h"
#include "gateway/Step.h"
#include "images/HexText.h"
#include "operations/Session.h"
#include "programming/Parallel.h"

namespace quillon {

CommandFrame::CommandFrame(Session& session, std::string_view trying)
    : session_(session), progress_(session.progress), timed_(!trying.empty())
{
    if (!timed_) return;
    session.bus.log.LogMessage(LogTrying, trying);
    session.bus.log.LogStartTime();
}

const ChipRow* CommandFrame::Unit()
{
    return LookUpUnit(session_, noUnit_);
}

WalkProgress CommandFrame::WalkProgressBar()
{
    return [this](std::uint32_t done, std::uint32_t total) { progress_.SetFraction(done, total); };
}

bool CommandFrame::PowerDown()
{
    return LeaveSocketUnpowered(session_);
}

void CommandFrame::EndTime()
{
    if (timed_) session_.bus.log.LogEndTime();
}

Result CommandFrame::Fail(Result failure)
{
    EndTime();
    progress_.Free();
    return failure;
}

Result CommandFrame::FailFinished(std::string_view text, Failure failure)
{
    return Fail(FinishedWithFailure(session_, text, std::move(failure)));
}

Result CommandFrame::StepsFailed(std::string_view text)
{
    return FailFinished(text, StepsFailure(session_.bus));
}

Result CommandFrame::Succeed(std::string_view finished)
{
    progress_.Free();
    session_.bus.log.LogMessage(LogFinished, finished);
    EndTime();
    return Result::Ok();
}

Result CommandFrame::Cancel(const std::string& holds)
{
    session_.bus.log.LogMessage(LogText, "Cancelled by the user");
    session_.bus.log.LogMessage(LogText, holds);
    EndTime();
    progress_.Free();
    return Result::Cancelled(holds);
}

Result CommandFrame::EndAfterWindow(Result result)
{
    progress_.Free();
    EndTime();
    return result;
}

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

Result FinishedWithFailure(Session& session, std::string_view text, Failure failure)
{
    session.bus.log.LogMessage(LogFinished, text);
    failure.Then(LineOf(LogFinished, text));
    return Result::Failed(std::move(failure));
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
