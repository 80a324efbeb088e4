// How a command ended, as a value its caller acts on: succeeded, failed (with the failure that
// stopped it), refused by a question, or cancelled. The log shows the same to the user; nobody
// learns a command's ending by reading the log back.
#pragma once

#include <string>
#include <utility>

#include "core/Failure.h"

namespace quillon {

enum class Ending {
    Succeeded,
    Failed,
    Refused,    // a question before the command was not answered Yes: nothing was done
    Cancelled,  // stopped on the user's request
};

struct Result {
    Ending ending = Ending::Succeeded;
    // On failure: what failed and the words the log used for it. Cancelled: its words say what
    // the chip holds now.
    Failure failure;

    static Result Ok() { return {}; }
    static Result Refused() { return {Ending::Refused, {}}; }
    static Result Failed(Failure failure) { return {Ending::Failed, std::move(failure)}; }
    static Result Failed(FailureKind kind, std::string words) { return Failed(Failure(kind, std::move(words))); }
    // `words`: what the chip holds now, as the log said it.
    static Result Cancelled(std::string words) { return {Ending::Cancelled, Failure(FailureKind::None, std::move(words))}; }
    bool WasCancelled() const { return ending == Ending::Cancelled; }

    bool Succeeded() const { return ending == Ending::Succeeded; }
    explicit operator bool() const { return Succeeded(); }
    const std::string& Words() const { return failure.words; }
};

}  // namespace quillon
