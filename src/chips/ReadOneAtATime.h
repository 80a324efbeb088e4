// Reads one at a time: each address's packets, then its answer, before the next address is
// sent. The way the gateway has always been driven, and the only one for units that cannot
// send a read without collecting it.
#pragma once

#include "chips/Driver.h"
#include "chips/MemoryWalk.h"

namespace quillon {

class Bus;
class ReadPlan;

// Walks `plan` from address 0 with programming mode already entered. Whether the line is in step
// behind the last answer is left to the caller, as after reads in flight.
WalkResult ReadOneAtATime(Bus& bus, const Target& target, Driver::Read read, const ReadPlan& plan,
                          const WalkProgress& progress);

}  // namespace quillon
