#include "operations/Connection.h"

#include "chips/Catalogue.h"
#include "operations/ChipSelection.h"
#include "operations/CommandFrame.h"
#include "operations/Session.h"
#include "programming/Parallel.h"

namespace quillon {

Result Connect(Session& session, const std::string& portName)
{
    Bus& bus = session.bus;
    std::optional<std::string> path = DevicePathFor(portName);
    if (!path) {
        // A name that makes no device path cannot be opened; say so as for any absent port.
        bus.log.LogMessage(LogPortNotAvailable, "");
        return Result::Failed(FailureKind::Port, LineOf(LogPortNotAvailable, ""));
    }
    std::string failure = bus.link.OpenPort(*path);
    if (!bus.link.IsOpen()) return Result::Failed(FailureKind::Port, std::move(failure));
    bus.log.LogMessage(LogPortOpen, *path);
    return Result::Ok();
}

void Disconnect(Session& session)
{
    session.bus.link.ClosePort();
    session.bus.log.LogMessage(LogPortClosed, "");
}

bool PortChanged(Session& session)
{
    if (!session.bus.link.IsOpen()) return false;
    Disconnect(session);
    return true;
}

Result Autosearch(Session& session)
{
    Bus& bus = session.bus;
    bus.ForgetFailure();
    if (!EnterProgMode(bus)) return FinishedWithFailure(session, " with fail.");
    const std::int32_t signature = ReadSignature(bus);
    if (!ExitProgMode(bus)) return FinishedWithFailure(session, " with fail.");
    if (SelectChip(session, signature)) return Result::Ok();
    if (signature == 0) return Result::Failed(FailureKind::NoChip, LineOf(LogNoChip, ""));
    return Result::Failed(FailureKind::UnknownChip, LineOf(LogSelectedChip, " unknown"));
}

}  // namespace quillon
