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
    text_ = "0%";
    estimate_.Start(now_());
    Draw();
}

void TerminalProgress::SetPosition(int percent)
{
    percent = std::clamp(percent, 0, 100);
    Update(percent, std::to_string(percent) + "%");
}

void TerminalProgress::SetCount(std::uint32_t done, std::uint32_t total, int percent)
{
    percent = std::clamp(percent, 0, 100);
    Update(percent, estimate_.Text(done, total, percent, now_()));
}

void TerminalProgress::Update(int percent, std::string text)
{
    if (percent == percent_ && text == text_ && drawn_) return;
    percent_ = percent;
    text_ = std::move(text);
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
    drawnLength_ = 0;
}

void TerminalProgress::Show()
{
    if (alive_) Draw();
}

void TerminalProgress::Draw()
{
    int filled = percent_ * kWidth / 100;
    std::string bar = "[" + std::string(static_cast<std::size_t>(filled), '#') +
                      std::string(static_cast<std::size_t>(kWidth - filled), ' ') + "] " + text_;
    // A shorter text than the last one drawn (the time left shrinking) must not leave its tail.
    const std::size_t length = bar.size();
    if (length < drawnLength_) bar += std::string(drawnLength_ - length, ' ');
    std::fputs(("\r" + bar).c_str(), out_);
    std::fflush(out_);
    drawn_ = true;
    drawnLength_ = length;
}

}  // namespace quillon::cli
