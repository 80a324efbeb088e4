#include "chips/WalkEndings.h"

#include "chips/ReadPlan.h"
#include "gateway/Bus.h"
#include "programming/Parallel.h"

namespace quillon {

WalkResult CancelledAt(Bus& bus, std::optional<std::uint32_t> address, std::int64_t written)
{
    // Leaving parallel programming mode cuts the supply; the same packet ends serial programming
    // too, as it hands the socket's supply lines back from the SPI unit.
    if (bus.link.IsOpen()) ExitProgMode(bus);
    return {WalkResult::End::Cancelled, address, written};
}

WalkResult ReadFailedAt(const Bus& bus, const ReadPlan& plan, std::uint32_t address)
{
    if (bus.link.LostStep() && !plan.Verify()) return {WalkResult::End::Failed, std::nullopt};
    return StoppedAt(address);
}

WalkResult ReadEnded(Bus& bus, WalkResult walked)
{
    if (walked.Done() && !bus.link.ConfirmInStep()) return {WalkResult::End::Failed, std::nullopt};
    return walked;
}

}  // namespace quillon
