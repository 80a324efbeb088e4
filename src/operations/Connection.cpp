#include "operations/Connection.h"

#include "chips/Catalogue.h"
#include "core/Context.h"
#include "programming/Parallel.h"

namespace quillon {

bool Connect(Context& ctx, const std::string& portName)
{
    std::optional<std::string> path = DevicePathFor(portName);
    if (!path) {
        // A name that makes no device path cannot be opened; say so as for any absent port.
        ctx.log.LogMessage(LogPortNotAvailable, "");
        return false;
    }
    ctx.link.OpenPort(*path);
    if (!ctx.link.IsOpen()) return false;
    ctx.log.LogMessage(LogPortOpen, *path);
    return true;
}

void Disconnect(Context& ctx)
{
    ctx.link.ClosePort();
    ctx.log.LogMessage(LogPortClosed, "");
}

bool PortChanged(Context& ctx)
{
    if (!ctx.link.IsOpen()) return false;
    Disconnect(ctx);
    return true;
}

bool Autosearch(Context& ctx)
{
    if (!EnterProgMode(ctx)) {
        ctx.log.LogMessage(LogFinished, " with fail.");
        return false;
    }
    const std::int32_t signature = ReadSignature(ctx);
    if (!ExitProgMode(ctx)) {
        ctx.log.LogMessage(LogFinished, " with fail.");
        return false;
    }
    SelectChip(ctx, signature);
    return true;
}

}  // namespace quillon
