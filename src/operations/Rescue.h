// "Rescue chip": bring back a chip that serial programmers can no longer reach. A chip this tool
// programs in parallel (high-voltage) mode is read -- signature, fuses, lock bits --, what keeps
// serial programmers out is said in words, and after a question the factory fuses are written
// back (a Chip Erase first when lock bits block that), read back and confirmed. A chip programmed
// serially here would need high-voltage serial programming, which the gateway does not offer.
#pragma once

#include <string>
#include <vector>

#include "core/Result.h"
#include "operations/Confirmation.h"

namespace quillon {

struct Session;

struct RescueOutcome {
    std::vector<std::string> causes;  // what kept serial programmers out, one sentence each
    bool erased = false;              // a Chip Erase ran first
    bool restored = false;            // the factory fuses were written and read back
};

// Fails, changing nothing, for a serial chip; refused when the question is not answered Yes.
Result RescueChip(Session& session, const Confirm& confirm, RescueOutcome* outcome = nullptr);

}  // namespace quillon
