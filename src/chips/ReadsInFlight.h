// Reads with answers in flight: up to a window of reads have their packets on the way before the
// oldest one's answers are collected, so the line carries commands one way while answers come
// back the other, instead of waiting out a round trip for every read.
#pragma once

#include "chips/Driver.h"
#include "chips/MemoryWalk.h"
#include "gateway/Step.h"

namespace quillon {

class Bus;
class ReadPlan;

// Walks `plan` from address 0 with programming mode already entered. The first read goes alone;
// only when its answers came back whole does the window open to `depth`, so a gateway that
// answers short is read one at a time as always. Whether the line is in step behind the last
// answer is left to the caller, as after a read one at a time.
WalkResult ReadInFlight(Bus& bus, const Target& target, Driver::ReadRequest request, const AnswerShape& answer,
                        const ReadPlan& plan, const WalkProgress& progress, int depth);

}  // namespace quillon
