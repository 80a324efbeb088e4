// What a progress display says beside its bar: the percentage, and once a command has run long
// enough for a fair estimate, the time left and the rate. Shared by the window and the terminal.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace quillon {

class ProgressText {
public:
    using Clock = std::chrono::steady_clock;

    // No estimate before this much of the command has run: the first packets include entering
    // programming mode and the erase, which say little about the rate of the rest.
    static constexpr std::chrono::milliseconds kSettle{2000};

    void Start(Clock::time_point now) { start_ = now; }

    // "42%", later "42%  1:23 left  1.6 KB/s".
    std::string Text(std::uint32_t done, std::uint32_t total, int percent, Clock::time_point now) const;

private:
    Clock::time_point start_{};
};

// 0:07, 1:23, 1:02:03
std::string DurationText(std::chrono::seconds duration);

// 640 B/s, 1.6 KB/s, 12 KB/s (decimal kilobytes)
std::string RateText(double bytesPerSecond);

}  // namespace quillon
