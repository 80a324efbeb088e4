// The lines that explain a port that did not open or did not answer, in words a user can act on:
// the path, the system's reason and, for a permission error, the group to join.
#pragma once

#include <string>
#include <vector>

#include "gateway/Transport.h"

namespace quillon {

// What to add after the failure's own line; empty when nothing more is known.
std::vector<std::string> WhyPortDidNotOpen(const std::string& devicePath, const OpenedPort& opened);

// After a handshake that got no answer: the port opened, but nothing behind it spoke.
std::string NoGatewayAnswered(const std::string& devicePath);

}  // namespace quillon
