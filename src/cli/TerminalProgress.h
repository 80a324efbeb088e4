// The progress window of the command line: a bar on one line of the terminal, redrawn in place.
// Log lines printed meanwhile lift it out of the way first (Hide) and put it back (Show).
#pragma once

#include <cstdio>

#include "core/Progress.h"

namespace quillon::cli {

class TerminalProgress : public ProgressSink {
public:
    explicit TerminalProgress(std::FILE* out) : out_(out) {}

    void Create() override;
    void SetPosition(int percent) override;
    void Free() override;

    void Hide();  // clears the bar's line, if a bar is shown
    void Show();  // draws it again, if a window is alive

private:
    void Draw();

    std::FILE* out_;
    bool alive_ = false;
    bool drawn_ = false;
    int percent_ = 0;
};

}  // namespace quillon::cli
