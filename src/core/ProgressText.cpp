#include "core/ProgressText.h"

#include <cmath>
#include <cstdio>

namespace quillon {

std::string DurationText(std::chrono::seconds duration)
{
    const long long total = duration.count() < 0 ? 0 : duration.count();
    const long long hours = total / 3600;
    const long long minutes = total / 60 % 60;
    const long long seconds = total % 60;
    char text[32];
    if (hours > 0)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", hours, minutes, seconds);
    else
        std::snprintf(text, sizeof text, "%lld:%02lld", minutes, seconds);
    return text;
}

std::string RateText(double bytesPerSecond)
{
    char text[32];
    if (bytesPerSecond < 1000)
        std::snprintf(text, sizeof text, "%.0f B/s", bytesPerSecond);
    else if (bytesPerSecond < 10000)
        std::snprintf(text, sizeof text, "%.1f KB/s", bytesPerSecond / 1000);
    else
        std::snprintf(text, sizeof text, "%.0f KB/s", bytesPerSecond / 1000);
    return text;
}

std::string ProgressText::Text(std::uint32_t done, std::uint32_t total, int percent, Clock::time_point now) const
{
    std::string text = std::to_string(percent) + "%";
    const auto elapsed = std::chrono::duration<double>(now - start_);
    if (done == 0 || total == 0 || done > total || elapsed < kSettle) return text;
    const double rate = done / elapsed.count();
    const double left = (total - done) / rate;
    text += "  " + DurationText(std::chrono::seconds(static_cast<long long>(std::ceil(left)))) + " left  " +
            RateText(rate);
    return text;
}

}  // namespace quillon
