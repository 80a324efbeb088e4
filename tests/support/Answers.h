// The front end's answer to every question before a command changes the chip: the tests that
// are not about the questions answer Yes.
#pragma once

#include "operations/Confirmation.h"

namespace quillon::test {

inline bool Yes(const Question&) { return true; }

}  // namespace quillon::test
