// One timeline of a command as the user sees it: its log lines, and where its progress window
// appears and goes, in the order they happened. Time lines read 10:0:3.
#pragma once

#include <string>
#include <vector>

#include "operations/ChipSelection.h"
#include "operations/Session.h"
#include "core/Progress.h"

namespace quillon::test {

class Timeline : public ProgressSink {
public:
    explicit Timeline(Session& ctx)
    {
        ctx.bus.log.SetClock([] { return TimeOfDay{10, 0, 3}; });
        ctx.bus.log.SetListener([this](const std::string& line) { events.push_back(line); });
        ctx.progress = this;
    }

    void Create() override
    {
        events.push_back("<window>");
        windows.emplace_back();
    }
    void SetPosition(int percent) override
    {
        if (!windows.empty()) windows.back().push_back(percent);
    }
    void Free() override { events.push_back("</window>"); }

    void Clear()
    {
        events.clear();
        windows.clear();
    }

    std::vector<std::string> events;
    // The bar's positions, one list per window shown: a command's own window, and those of the
    // view transfers before or after it.
    std::vector<std::vector<int>> windows;
};

}  // namespace quillon::test
