#include "cli/TerminalProgress.h"

#include <algorithm>
#include <string>

namespace quillon::cli {

namespace {
constexpr int kWidth = 40;
}

void TerminalProgress::Create()
{
    alive_ = true;
    percent_ = 0;
    Draw();
}

void TerminalProgress::SetPosition(int percent)
{
    percent = std::clamp(percent, 0, 100);
    if (percent == percent_ && drawn_) return;
    percent_ = percent;
    if (alive_) Draw();
}

void TerminalProgress::Free()
{
    Hide();
    alive_ = false;
}

void TerminalProgress::Hide()
{
    if (!drawn_) return;
    std::fputs("\r\033[K", out_);
    std::fflush(out_);
    drawn_ = false;
}

void TerminalProgress::Show()
{
    if (alive_) Draw();
}

void TerminalProgress::Draw()
{
    int filled = percent_ * kWidth / 100;
    std::string bar = "\r[" + std::string(static_cast<std::size_t>(filled), '#') +
                      std::string(static_cast<std::size_t>(kWidth - filled), ' ') + "] " +
                      std::to_string(percent_) + "%";
    std::fputs(bar.c_str(), out_);
    std::fflush(out_);
    drawn_ = true;
}

}  // namespace quillon::cli
