// The event log: every step of the program as one line, in order, with fixed message prefixes.
// Front ends observe new lines through a listener; the lines can be saved as a rich-text document.
#pragma once

#include <functional>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

struct TimeOfDay {
    int hours = 0;
    int minutes = 0;
    int seconds = 0;
};

TimeOfDay LocalTimeOfDay();

// Message indexes, named after what they report.
enum LogIndex : int {
    LogText = 0,
    LogPortOpen = 1,
    LogPortNotAvailable = 2,
    LogPortClosed = 3,
    LogGetParams = 4,
    LogSetParams = 5,
    LogExecError = 6,
    LogAnswerError = 7,
    LogSaved = 8,
    LogProgrammer = 9,
    LogLoadProgram = 10,
    LogLoadData = 11,
    LogComplete = 12,
    LogWrongFile = 13,
    LogNoChip = 14,
    LogSelectedChip = 15,
    LogSaveProgram = 16,
    LogSaveData = 17,
    LogTrying = 18,
    LogFinished = 19,
    LogNotAvailable = 20,
};

std::string_view LogPrefix(int index);  // "" for an index outside 0..20

class Log {
public:
    using Listener = std::function<void(const std::string& line)>;

    // Appends the prefix of `index` followed directly by `text`; an unknown index appends nothing.
    void LogMessage(int index, std::string_view text);
    void LogStartTime();  // "Start time: H:M:S", no leading zeros
    void LogEndTime();

    std::vector<std::string> Lines() const;  // a copy: lines may be appended from a worker thread
    std::size_t Size() const;

    // Called after each appended line, on the thread that appended it.
    void SetListener(Listener listener);
    void SetClock(std::function<TimeOfDay()> clock);

private:
    void Append(std::string line);

    // Lock order, for the GUI thread, the worker thread and the log together:
    //   listenerMutex_ -> mutex_ -> (inside a listener) Qt's posted-event queue.
    // A line is appended under mutex_ alone; the listener is then called under listenerMutex_,
    // so SetListener({}) returns only once no call is in flight and a detached pane is never
    // reached. Listeners may read the lines back (mutex_ after listenerMutex_) and may log (the
    // mutex is recursive), but never wait for another thread: the window's listener only posts
    // a queued signal. The worker holds no lock of the window's and never waits for the GUI
    // thread without a way out (see CommandRunner::AskOnGuiThread), so the GUI thread may join
    // the worker while holding neither of these.
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
    std::recursive_mutex listenerMutex_;
    Listener listener_;
    std::function<TimeOfDay()> clock_ = LocalTimeOfDay;
};

std::string FormatTime(const TimeOfDay& t);  // 9:5:7

// The lines as a Rich Text Format document, one paragraph per line, in a fixed-pitch font.
std::string LogToRtf(std::span<const std::string> lines);

}  // namespace quillon
