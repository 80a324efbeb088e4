#include "chips/ReadOneAtATime.h"

#include <array>

#include "chips/ReadPlan.h"
#include "chips/WalkEndings.h"
#include "gateway/Bus.h"

namespace quillon {

namespace {

// Compares what the chip holds at `address` with what the plan expects; the unit compares
// against a copy, so what the caller expects stays untouched. `seen` gets the bytes the chip gave
// (the expected ones where it gave none).
bool Compare(Bus& bus, const Target& target, Driver::Read read, const ReadPlan& plan, std::uint32_t address,
             std::array<std::uint8_t, 2>& seen)
{
    std::array<std::uint8_t, 2> bytes{};
    const auto want = plan.Want(address);
    const auto wanted = std::span(bytes).first(want.size());
    std::copy(want.begin(), want.end(), bytes.begin());
    std::copy(want.begin(), want.end(), seen.begin());
    const auto pos = static_cast<std::int32_t>(address);
    if (plan.Compared(address) == want.size()) return read(bus, target, pos, wanted, ReadMode(true, seen.data()));
    if (!plan.Reads(address)) return true;
    // Read what the chip holds and compare only the bytes the file gave.
    if (!read(bus, target, pos, wanted, false)) return false;
    std::copy(wanted.begin(), wanted.end(), seen.begin());
    return plan.Take(address, wanted);
}

}  // namespace

WalkResult ReadOneAtATime(Bus& bus, const Target& target, Driver::Read read, const ReadPlan& plan,
                          const WalkProgress& progress)
{
    WalkResult result;
    for (std::uint32_t address = 0; address < plan.Size(); address += plan.Step()) {
        if (bus.cancel.Requested()) return CancelledAt(bus, address, -1);
        if (plan.Verify()) {
            std::array<std::uint8_t, 2> seen{};
            if (!Compare(bus, target, read, plan, address, seen)) {
                // A difference counts only if no answer came out of step before it: a byte still
                // queued would mean the compared one was another's.
                if (bus.link.IsOpen() && bus.link.ConfirmInStep())
                    return DiffersAt(address, plan.DifferenceAt(address, std::span(seen).first(plan.Want(address).size())));
                return ReadFailedAt(bus, plan, address);
            }
            result.bytes += plan.Compared(address);
        } else if (!read(bus, target, static_cast<std::int32_t>(address), plan.Into(address), false)) {
            return ReadFailedAt(bus, plan, address);
        }
        plan.Progress(progress, address);
    }
    return result;
}

}  // namespace quillon
