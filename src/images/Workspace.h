// What the file commands work on: the log, the chip record with its images and the progress sink.
// A front end's session lends it for one command; the views that show the images are the front
// end's own.
#pragma once

#include "chips/Chip.h"
#include "core/Progress.h"
#include "log/Log.h"

namespace quillon {

struct Workspace {
    Log& log;
    Chip& chip;
    ProgressSink* progress = nullptr;
};

}  // namespace quillon
