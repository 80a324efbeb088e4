// One timeline of a command as the user sees it: its log lines, and where its progress window
// appears and goes, in the order they happened. Time lines read 10:0:3.
#pragma once

#include <string>
#include <vector>

#include "core/Context.h"
#include "core/Progress.h"

namespace quillon::test {

class Timeline : public ProgressSink {
public:
    explicit Timeline(Context& ctx)
    {
        ctx.log.SetClock([] { return TimeOfDay{10, 0, 3}; });
        ctx.log.SetListener([this](const std::string& line) { events.push_back(line); });
        ctx.progress = this;
    }

    void Create() override { events.push_back("<window>"); }
    void SetPosition(int percent) override { positions.push_back(percent); }
    void Free() override { events.push_back("</window>"); }

    // The events from the last time the command's own window opened, i.e. without the view
    // transfers that come before it.
    std::vector<std::string> events;
    std::vector<int> positions;
};

}  // namespace quillon::test
