// What the views and the file commands work on: the log, the chip record with its images, the
// four hex views and the progress sink. A front end's session lends it for one command.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "chips/Chip.h"
#include "core/Progress.h"
#include "images/MemoryDocument.h"
#include "log/Log.h"

namespace quillon {

// One hex view: the bytes it shows and edits, and where the last build, fill or store put the
// caret (the window moves its caret there when it is told the view changed; typing keeps its own
// caret, see images/HexKeys.h).
struct HexView {
    MemoryDocument document;
    std::size_t caret = 0;
};

// The main window's views: index 0 RichEdit1 (Page1 flash), 1 RichEdit2 (Page2 flash),
// 2 RichEdit3 (Page1 EEPROM), 3 RichEdit4 (Page2 EEPROM).
struct ViewSet {
    std::array<HexView, 4> view;
    int activePage = 0;  // 0 = Page1, 1 = Page2
    std::string chipNameBox = "None";
    std::string idBox = "FF FF FF";
    // Told which view (0..3) changed its bytes, and when the chip name or ID box changed (-1).
    std::function<void(int view)> changed;
};

struct Workspace {
    Log& log;
    Chip& chip;
    ViewSet& views;
    ProgressSink* progress = nullptr;
};

}  // namespace quillon
