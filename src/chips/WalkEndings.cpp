#include "chips/WalkEndings.h"

#include "chips/ReadPlan.h"
#include "gateway/Bus.h"
#include "gateway/Step.h"
#include "programming/Parallel.h"

namespace quillon {

WalkResult CancelledAt(Bus& bus, std::optional<std::uint32_t> address, std::int64_t written)
{
    // Leaving parallel programming mode cuts the supply; the same packet ends serial programming
    // too, as it hands the socket's supply lines back from the SPI unit.
    if (bus.link.IsOpen()) ExitProgMode(bus);
    WalkResult walk{Ending::Cancelled};
    walk.failure.address = address;
    walk.written = written;
    return walk;
}

WalkResult DiffersAt(std::uint32_t address, std::optional<ByteDifference> difference)
{
    WalkResult walk = StoppedAt(address);
    walk.failure.kind = FailureKind::Differs;
    walk.failure.difference = difference;
    return walk;
}

WalkResult Judged(const Bus& bus, WalkResult walk, bool verify)
{
    if (walk.ending != Ending::Failed || walk.failure.kind == FailureKind::NotOffered) return walk;
    if (!bus.link.IsOpen()) {
        // Whatever the compare saw came over a link that failed after it.
        const std::optional<std::uint32_t> address = walk.failure.address;
        walk.failure = StepsFailure(bus);
        walk.failure.address = address;
    } else if (walk.failure.kind != FailureKind::Differs) {
        // A verify's unit compares by itself: stopped inside the memory with the link intact, it
        // found a difference.
        walk.failure.kind = verify && walk.failure.address ? FailureKind::Differs : FailureKind::Chip;
    }
    return walk;
}

WalkResult ReadFailedAt(const Bus& bus, const ReadPlan& plan, std::uint32_t address)
{
    if (bus.link.LostStep() && !plan.Verify()) return StoppedAt(std::nullopt);
    return StoppedAt(address);
}

WalkResult ReadEnded(Bus& bus, WalkResult walked)
{
    if (walked.Done() && !bus.link.ConfirmInStep()) return StoppedAt(std::nullopt);
    return walked;
}

}  // namespace quillon
