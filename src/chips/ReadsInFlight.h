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

// How a walk with answers in flight ended: as a walk does, or with answers that went missing
// while reads were in flight (`fellBehind`): the link is then back in step (Resync), nothing it
// read counts, and the caller goes on one at a time.
struct InFlightEnd {
    InFlightEnd(WalkResult w, bool behind = false) : walk(w), fellBehind(behind) {}
    WalkResult walk;
    bool fellBehind = false;
};

// Walks `plan` from address 0 with programming mode already entered. The first read goes alone;
// only when its answers came back whole does the window open to `depth`, so a gateway that
// answers short is read one at a time as always. Whether the line is in step behind the last
// answer is left to the caller, as after a read one at a time.
InFlightEnd ReadInFlight(Bus& bus, const Target& target, Driver::ReadRequest request, const AnswerShape& answer,
                         const ReadPlan& plan, const WalkProgress& progress, int depth);

}  // namespace quillon
