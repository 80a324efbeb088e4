#include "operations/Connection.h"

#include "chips/Catalogue.h"
#include "operations/ChipInSocket.h"
#include "operations/ChipSelection.h"
#include "operations/CommandFrame.h"
#include "operations/Session.h"
#include "gateway/Step.h"
#include "programming/Parallel.h"
#include "programming/Serial.h"

namespace quillon {

Result Connect(Session& session, const std::string& portName)
{
    Bus& bus = session.bus;
    std::optional<std::string> path = DevicePathFor(portName);
    if (!path) {
        // A name that makes no device path cannot be opened; say so as for any absent port.
        bus.log.LogMessage(LogPortNotAvailable, "");
        const std::string why = portName.empty() ? "No port name was given" : "The port name is too long for a device path";
        bus.log.LogMessage(LogText, why);
        return Result::Failed(FailureKind::Port, LineOf(LogPortNotAvailable, "") + "\n" + why);
    }
    // A failure the gateway still hears ends, as every command does, with the socket off.
    bus.link.SetPowerDownOnFailure(session.powerDownAfterCommand);
    if (Failure failure = bus.link.OpenPort(*path); failure.Failed()) return Result::Failed(std::move(failure));
    // A port named by its identity says which device it is today.
    const std::string& device = bus.link.Device();
    bus.log.LogMessage(LogPortOpen, device == *path ? *path : *path + " (" + device + ")");
    return Result::Ok();
}

void Disconnect(Session& session)
{
    // Nobody may take the chip out of a socket left at +12 V; a failure here is logged and the
    // port closes all the same.
    LeaveSocketUnpowered(session);
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
    if (!EnterProgMode(bus)) return FinishedWithFailure(session, " with fail.", StepsFailure(bus));
    const std::int32_t signature = ReadSignature(bus);
    if (!ExitProgMode(bus)) return FinishedWithFailure(session, " with fail.", StepsFailure(bus));
    if (FindChip(signature) == nullptr && session.serialAutosearch) {
        // The chips without a parallel interface answer only the serial read; the socket is
        // powered down after it, as after the parallel one.
        std::optional<std::int32_t> serial;
        if (EnterSerialProgMode(bus, " execute Programming Enable")) serial = ReadSerialSignature(bus);
        if (!bus.link.IsOpen() || !PowerDownSocket(bus)) return FinishedWithFailure(session, " with fail.", StepsFailure(bus));
        if (serial && FindChip(*serial) != nullptr && SelectChip(session, *serial)) return Result::Ok();
    }
    if (SelectChip(session, signature)) return Result::Ok();
    if (session.serialAutosearch) {
        if (signature == 0 || signature == 0xFFFFFF)
            bus.log.LogMessage(LogText, "No chip answers in the socket, in parallel or serial mode: no chip, the "
                                        "chip turned round, the wrong socket for this chip, or no supply.");
        else
            bus.log.LogMessage(LogText, "The chip in the socket answers " + SignatureText(signature) +
                                            ", a signature this program does not know.");
    }
    if (signature == 0) return Result::Failed(FailureKind::NoChip, LineOf(LogNoChip, ""));
    return Result::Failed(FailureKind::UnknownChip, LineOf(LogSelectedChip, " unknown"));
}

}  // namespace quillon
