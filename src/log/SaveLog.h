// "Save Log as": the log's lines as a rich-text document in a file of the user's choosing.
#pragma once

#include <string>

#include "core/FileIo.h"

namespace quillon {

class Log;

// Writes the document whatever the name's extension, replacing the file only once complete,
// then logs "Log saved to file: " + path. A failure is returned for the window to show and is
// not logged.
Failure SaveLogAs(Log& log, const std::string& path);

}  // namespace quillon
