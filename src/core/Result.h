// How a command ended, as a value its caller acts on: succeeded, failed (with what failed and
// the words the log used for it), refused by a question, or cancelled. The log shows the same
// to the user; nobody learns a command's ending by reading the log back.
#pragma once

#include <string>
#include <utility>

namespace quillon {

enum class Ending {
    Succeeded,
    Failed,
    Refused,    // a question before the command was not answered Yes: nothing was done
    Cancelled,  // stopped on the user's request
};

enum class FailureKind {
    None,
    NoChip,       // no chip is selected
    UnknownChip,  // the selected chip has no driver unit
    WrongChip,    // the chip in the socket is not the selected one: nothing was changed
    NotOffered,   // the chip's unit lacks the operation
    Port,         // the port could not be opened
    Link,         // the gateway took no packet or gave no answer; the port is closed
    Chip,         // the chip did not do what programming needs (not in step, stayed busy)
    Differs,      // a verify found a byte the chip does not hold
    File,         // a file could not be opened, read or written
    FileContent,  // a file holds a line the loader does not take
    FilePart,     // a file loaded only in part: empty, cut short, or going on after its end
    FileBeyond,   // a file's data partly lies beyond the end of the memory and was left out;
                  // all that fits loaded, which a user may knowingly accept
    Input,        // the command's own input is wrong (a value typed by the user)
};

struct Result {
    Ending ending = Ending::Succeeded;
    FailureKind failure = FailureKind::None;
    std::string words;  // on failure: what the log said about it, lines joined by '\n'

    static Result Ok() { return {}; }
    static Result Refused() { return {Ending::Refused, FailureKind::None, {}}; }
    static Result Failed(FailureKind kind, std::string words)
    {
        return {Ending::Failed, kind, std::move(words)};
    }
    // `words`: what the chip holds now, as the log said it.
    static Result Cancelled(std::string words) { return {Ending::Cancelled, FailureKind::None, std::move(words)}; }
    bool WasCancelled() const { return ending == Ending::Cancelled; }

    bool Succeeded() const { return ending == Ending::Succeeded; }
    explicit operator bool() const { return Succeeded(); }
};

}  // namespace quillon
