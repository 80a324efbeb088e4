#include "log/Log.h"

#include <array>
#include <ctime>

namespace quillon {

namespace {

constexpr std::array<std::string_view, 21> kPrefixes{
    "",
    "The COM-port is open: ",
    "Error. The COM-port is not available",
    "The COM-port is closed",
    "Error getting the COM-port parameters",
    "Error setting the COM-port parameters",
    "Error executing commands: ",
    "Error reading the answer",
    "Log saved to file: ",
    "Selected programmer is: ",
    "Loading program from file: ",
    "Loading data from file: ",
    "Operation complete",
    "Wrong file",
    "No chip selected",
    "Selected chip is ",
    "Saving program to file: ",
    "Saving data to file: ",
    "Trying to",
    "       Finished",
    "Command is not available for this chip",
};

}  // namespace

TimeOfDay LocalTimeOfDay()
{
    std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    return {local.tm_hour, local.tm_min, local.tm_sec};
}

std::string_view LogPrefix(int index)
{
    if (index < 0 || index >= static_cast<int>(kPrefixes.size())) return {};
    return kPrefixes[static_cast<std::size_t>(index)];
}

std::string FormatTime(const TimeOfDay& t)
{
    return std::to_string(t.hours) + ":" + std::to_string(t.minutes) + ":" +
           std::to_string(t.seconds);
}

void Log::LogMessage(int index, std::string_view text)
{
    if (index < 0 || index >= static_cast<int>(kPrefixes.size())) return;
    std::string line{LogPrefix(index)};
    line += text;
    Append(std::move(line));
}

void Log::LogStartTime()
{
    Append("Start time: " + FormatTime(clock_()));
}

void Log::LogEndTime()
{
    Append("End time: " + FormatTime(clock_()));
}

std::vector<std::string> Log::Lines() const
{
    std::lock_guard lock(mutex_);
    return lines_;
}

std::size_t Log::Size() const
{
    std::lock_guard lock(mutex_);
    return lines_.size();
}

void Log::SetListener(Listener listener)
{
    std::lock_guard lock(listenerMutex_);
    listener_ = std::move(listener);
}

void Log::SetClock(std::function<TimeOfDay()> clock)
{
    clock_ = clock ? std::move(clock) : LocalTimeOfDay;
}

void Log::Append(std::string line)
{
    {
        std::lock_guard lock(mutex_);
        lines_.push_back(line);
    }
    // Outside the lines' lock, so a listener may read them back; under the listener's own, so
    // a listener being replaced is not called any more once SetListener has returned.
    std::lock_guard lock(listenerMutex_);
    if (listener_) listener_(line);
}

namespace {

// Appends one UTF-8 line as RTF text: control characters of RTF escaped, everything outside
// 7-bit ASCII as a Unicode escape so any reader shows the same characters.
void AppendRtfText(std::string& out, const std::string& line)
{
    for (std::size_t i = 0; i < line.size();) {
        auto c = static_cast<unsigned char>(line[i]);
        if (c == '\\' || c == '{' || c == '}') {
            out += '\\';
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        if (c < 0x80) {
            if (c == '\t')
                out += "\\tab ";
            else if (c >= 0x20)
                out += static_cast<char>(c);
            ++i;
            continue;
        }
        // Decode one UTF-8 sequence; a malformed byte becomes U+FFFD.
        std::uint32_t cp = 0xFFFD;
        int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : -1;
        std::size_t used = 1;
        if (extra > 0 && i + static_cast<std::size_t>(extra) < line.size()) {
            std::uint32_t v = c & (0x3F >> extra);
            bool ok = true;
            for (int k = 1; k <= extra; ++k) {
                auto cc = static_cast<unsigned char>(line[i + static_cast<std::size_t>(k)]);
                if ((cc & 0xC0) != 0x80) {
                    ok = false;
                    break;
                }
                v = (v << 6) | (cc & 0x3F);
            }
            if (ok) {
                cp = v;
                used = static_cast<std::size_t>(extra) + 1;
            }
        }
        i += used;
        auto emit = [&out](std::uint32_t unit) {
            out += "\\u" + std::to_string(static_cast<std::int16_t>(unit)) + "?";
        };
        if (cp > 0xFFFF) {
            cp -= 0x10000;
            emit(0xD800 + (cp >> 10));
            emit(0xDC00 + (cp & 0x3FF));
        } else {
            emit(cp);
        }
    }
}

}  // namespace

std::string LogToRtf(std::span<const std::string> lines)
{
    std::string out =
        "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1"
        "{\\fonttbl{\\f0\\fmodern\\fcharset0 Courier New;}}\n"
        "\\viewkind4\\pard\\f0\\fs20 ";
    for (const auto& line : lines) {
        AppendRtfText(out, line);
        out += "\\par\n";
    }
    out += "}\n";
    return out;
}

}  // namespace quillon
