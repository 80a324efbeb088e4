// What every chip command shares: the lookup of the selected chip's driver unit with its log
// lines for no chip and an unknown chip, the result of a failed step, and the hexadecimal texts
// of the result lines.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/Result.h"

namespace quillon {

struct Session;
struct ChipRow;

// The unit of the selected chip, or null after logging "No chip selected" (signature 0) or
// "Selected chip is  unknown" (a signature no unit serves); `failure` then says which.
const ChipRow* LookUpUnit(Session& session, Result& failure);

// The end of a command that may have powered the socket: with the session's choice on and the
// port open, both supplies go off, so that nobody pulls a chip from a live socket. False after a
// logged gateway failure (port closed); true when there was nothing to do.
bool LeaveSocketUnpowered(Session& session);

// Logs the "Finished" line `text` of a failed command and gives the command's result: a link
// failure with the line the gateway step logged, else a chip that did not do its part.
Result FinishedWithFailure(Session& session, std::string_view text);

// The words of a "not available" failure, with the Finished line that followed, if any.
Result NotOffered(std::string_view finishedText = {});

// The full text of a log line, prefix and text, as a result quotes it.
std::string LineOf(int index, std::string_view text);

// An address as upper-case hex digits, at least four and as many as it needs: a difference
// above 64 KiB must not be reported at an address below it.
std::string AddressDigits(std::uint32_t address);

std::string ByteDigits(std::uint8_t value);  // two upper-case hex digits

}  // namespace quillon
