// What every chip command shares, opened and closed in one place: the progress window, the
// lines that open and end a command in the log, the lookup of the selected chip's driver unit,
// the socket's supplies going off at the end, and the result a failure ends it with.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "chips/MemoryWalk.h"
#include "core/Result.h"
#include "images/ProgressGuard.h"

namespace quillon {

struct Session;
struct ChipRow;

// One command from its start to its ending. Constructed, it opens the progress window and, for
// the commands that log their course ("Trying to ..."), the Start time line; every ending below
// then logs the End time line. The window closes on every way out.
class CommandFrame {
public:
    CommandFrame(Session& session, std::string_view trying = {});
    CommandFrame(const CommandFrame&) = delete;
    CommandFrame& operator=(const CommandFrame&) = delete;

    // The selected chip's row, or null after logging "No chip selected" or "Selected chip is
    // unknown"; NoUnit() then gives the command's result.
    const ChipRow* Unit();
    const Result& NoUnit() const { return noUnit_; }

    ProgressGuard& Progress() { return progress_; }
    // The progress bar as the memory walk moves it.
    WalkProgress WalkProgressBar();

    // With the session's choice on and the port open, both supplies go off, so that nobody
    // pulls a chip from a live socket. False after a logged gateway failure (port closed).
    bool PowerDown();

    // Endings. After a failure: the End time line, then the window closes.
    Result Fail(Result failure);
    // Logs the Finished line `text` and ends with `failure` followed by that line.
    Result FailFinished(std::string_view text, Failure failure);
    // As FailFinished, for a sequence of steps that returned false: see StepsFailure.
    Result StepsFailed(std::string_view text);
    // After success: the window closes, then the Finished line `finished` and End time.
    Result Succeed(std::string_view finished);
    // Stopped by the user: the walk has already powered the socket down; the log says so and
    // what the chip holds now.
    Result Cancel(const std::string& holds);
    // The window closes before the End time line, whatever the ending (Compare's order).
    Result EndAfterWindow(Result result);

private:
    void EndTime();

    Session& session_;
    ProgressGuard progress_;
    bool timed_;
    Result noUnit_;
};

// The unit of the selected chip, or null after logging "No chip selected" (signature 0) or
// "Selected chip is  unknown" (a signature no unit serves); `failure` then says which. For the
// commands made of other commands, which show no progress window of their own.
const ChipRow* LookUpUnit(Session& session, Result& failure);

// The end of a command that may have powered the socket (see CommandFrame::PowerDown).
bool LeaveSocketUnpowered(Session& session);

// `failure` followed by the Finished line `text`, logged here: the result of a command that
// failed with that line.
Result FinishedWithFailure(Session& session, std::string_view text, Failure failure);

// The words of a "not available" failure, with the Finished line that followed, if any.
Result NotOffered(std::string_view finishedText = {});

// The full text of a log line, prefix and text, as a result quotes it.
std::string LineOf(int index, std::string_view text);

// An address as upper-case hex digits, at least four and as many as it needs: a difference
// above 64 KiB must not be reported at an address below it.
std::string AddressDigits(std::uint32_t address);

std::string ByteDigits(std::uint8_t value);  // two upper-case hex digits

}  // namespace quillon
