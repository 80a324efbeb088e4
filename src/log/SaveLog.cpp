#include "log/SaveLog.h"

#include "log/Log.h"

namespace quillon {

Failure SaveLogAs(Log& log, const std::string& path)
{
    const auto lines = log.Lines();
    Failure status = WriteFileSafely(path, LogToRtf(lines));
    if (!status.Failed()) log.LogMessage(LogSaved, path);
    return status;
}

}  // namespace quillon
