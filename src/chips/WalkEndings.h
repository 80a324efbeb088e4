// How a walk over a chip's memory ends when it does not run to the end: stopped at an address,
// cancelled by the user, or a read whose answers came out of step.
#pragma once

#include <cstdint>
#include <optional>

#include "chips/MemoryWalk.h"

namespace quillon {

class Bus;
class ReadPlan;

// A walk that failed at `address` (or before the first one), its kind judged as the walk ends.
inline WalkResult StoppedAt(std::optional<std::uint32_t> address)
{
    WalkResult walk{Ending::Failed};
    walk.failure.address = address;
    return walk;
}

// A verify that found the chip holding another byte than expected in the word or byte at
// `address`; `difference`, where the compare saw the bytes, names the first of them.
WalkResult DiffersAt(std::uint32_t address, std::optional<ByteDifference> difference);

// The failure of a walk that stopped, as its caller gets it: the link's failure when the port is
// closed, else a verify's difference, else the chip's.
WalkResult Judged(const Bus& bus, WalkResult walk, bool verify);

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
