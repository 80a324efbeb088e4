// The progress window of the command line: a bar on one line of the terminal, redrawn in place,
// with the percentage and, once the command has run a while, the time left and the rate. Log
// lines printed meanwhile lift it out of the way first (Hide) and put it back (Show).
#pragma once

#include <cstdio>
#include <functional>
#include <string>

#include "core/Progress.h"
#include "core/ProgressText.h"

namespace quillon::cli {

class TerminalProgress : public ProgressSink {
public:
    using Now = std::function<ProgressText::Clock::time_point()>;
    explicit TerminalProgress(std::FILE* out, Now now = ProgressText::Clock::now) : out_(out), now_(std::move(now)) {}

    void Create() override;
    void SetPosition(int percent) override;
    void SetCount(std::uint32_t done, std::uint32_t total, int percent) override;
    void Free() override;

    void Hide();  // clears the bar's line, if a bar is shown
    void Show();  // draws it again, if a window is alive

private:
    void Update(int percent, std::string text);
    void Draw();

    std::FILE* out_;
    Now now_;
    ProgressText estimate_;
    bool alive_ = false;
    bool drawn_ = false;
    int percent_ = 0;
    std::string text_ = "0%";
    std::size_t drawnLength_ = 0;
};

}  // namespace quillon::cli
