#include "log/SaveLog.h"

#include "log/Log.h"

namespace quillon {

FileStatus SaveLogAs(Log& log, const std::string& path)
{
    const auto lines = log.Lines();
    FileStatus status = WriteFileSafely(path, LogToRtf(lines));
    if (status) log.LogMessage(LogSaved, path);
    return status;
}

}  // namespace quillon
