// How a walk over a chip's memory ends when it does not run to the end: stopped at an address,
// cancelled by the user, or a read whose answers came out of step.
#pragma once

#include <cstdint>
#include <optional>

#include "chips/MemoryWalk.h"

namespace quillon {

class Bus;
class ReadPlan;

inline WalkResult StoppedAt(std::uint32_t address) { return {WalkResult::End::Failed, address}; }

// Stops a walk on the user's request: the socket goes unpowered, so a chip half written is not
// left in programming mode with its supply on.
WalkResult CancelledAt(Bus& bus, std::optional<std::uint32_t> address, std::int64_t written);

// A read or verify that failed at `address`. Once the answers were out of step a read keeps
// nothing, however it was driven: any answer taken may hold another's bytes. A verify still
// names where it stopped.
WalkResult ReadFailedAt(const Bus& bus, const ReadPlan& plan, std::uint32_t address);

// The end of a read or verify that took every answer: a byte behind the last one means some
// answer was taken for another's, and nothing read can be trusted then.
WalkResult ReadEnded(Bus& bus, WalkResult walked);

}  // namespace quillon
