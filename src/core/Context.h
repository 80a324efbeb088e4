// Everything a command works on, passed by reference instead of living in globals: the log, the
// gateway link, the delay value, the chip record, the four hex views and the progress sink.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "chips/Chip.h"
#include "core/Progress.h"
#include "gateway/Link.h"
#include "images/MemoryDocument.h"
#include "log/Log.h"

namespace quillon {

void RealSleep(int milliseconds);

// One hex view: the bytes it shows and edits, and where the last build, fill or store put the
// caret (the window moves its caret there when it is told the view changed; typing keeps its own
// caret, see images/HexKeys.h).
struct HexView {
    MemoryDocument document;
    std::size_t caret = 0;
};

// The main window's views as the core keeps them: index 0 RichEdit1 (Page1 flash),
// 1 RichEdit2 (Page2 flash), 2 RichEdit3 (Page1 EEPROM), 3 RichEdit4 (Page2 EEPROM).
struct ViewSet {
    std::array<HexView, 4> view;
    int activePage = 0;  // 0 = Page1, 1 = Page2
    std::string chipNameBox = "None";
    std::string idBox = "FF FF FF";
};

struct Context {
    explicit Context(PortOpener opener = OpenSerialPort) : link(log, std::move(opener)) {}
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;

    Log log;
    Link link;
    int delay = 1;  // the "Delays value" track bar, 0 to 5 ms
    std::unique_ptr<Chip> chipStorage = std::make_unique<Chip>();  // 320 KiB: keep it off the stack
    Chip& chip = *chipStorage;
    ViewSet views;
    ProgressSink* progress = nullptr;

    // Every wait of the programming steps goes through here, so tests can run on virtual time.
    std::function<void(int milliseconds)> sleep = RealSleep;

    // Installed by the view layer: rebuilds the views, the chip name box and the ID box after a
    // chip was selected. Empty in contexts that have no views.
    std::function<void(Context&)> refreshViews;
    // Told which view (0..3) changed its bytes, and when the chip name or ID box changed (-1).
    std::function<void(int view)> viewChanged;

    void Sleep(int milliseconds)
    {
        if (milliseconds > 0) sleep(milliseconds);
    }
    void Delay() { Sleep(delay); }
};

}  // namespace quillon
