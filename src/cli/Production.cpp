#include "cli/Production.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <csignal>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <thread>

#include "chips/ChipTable.h"
#include "cli/Output.h"
#include "cli/Run.h"
#include "cli/SignalWatcher.h"
#include "model/SimDevice.h"
#include "operations/Session.h"
#include "production/Job.h"
#include "production/ProductionRun.h"
#include "production/RecordStore.h"

namespace quillon::cli {

namespace {

using Json = nlohmann::ordered_json;
using namespace quillon::production;

struct JobOptions {
    std::string job;
    std::string port;
    std::string records;
    std::optional<long> count;
    bool detect = false;
    bool json = false;
    bool csv = false;
};

std::optional<long> Count(const std::string& text)
{
    long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size() || value < 1) return std::nullopt;
    return value;
}

// The options of run-job and records; an error text when the line is wrong.
std::string Parse(const std::vector<std::string>& args, JobOptions& o)
{
    const bool runJob = args[0] == "run-job";
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](const std::string& name, std::string& into) -> std::string {
            if (a.rfind(name + "=", 0) == 0) {
                into = a.substr(name.size() + 1);
            } else {
                if (i + 1 >= args.size()) return name + " needs a value";
                into = args[++i];
            }
            return into.empty() ? name + " needs a value" : "";
        };
        auto is = [&](const std::string& name) { return a == name || a.rfind(name + "=", 0) == 0; };
        if (a == "--json") {
            o.json = true;
        } else if (runJob && a == "--detect") {
            o.detect = true;
        } else if (!runJob && a == "--csv") {
            o.csv = true;
        } else if (runJob && is("--port")) {
            if (std::string e = value("--port", o.port); !e.empty()) return e;
        } else if (runJob && is("--records")) {
            if (std::string e = value("--records", o.records); !e.empty()) return e;
        } else if (runJob && is("--count")) {
            std::string text;
            if (std::string e = value("--count", text); !e.empty()) return e;
            o.count = Count(text);
            if (!o.count) return "--count takes a whole number of chips, 1 or more, not \"" + text + "\"";
        } else if (!a.empty() && a[0] == '-') {
            return "unknown option \"" + a + "\" for " + args[0];
        } else if (o.job.empty()) {
            o.job = a;
        } else {
            return args[0] + " takes one file, not also \"" + a + "\"";
        }
    }
    if (o.job.empty()) return runJob ? "run-job needs the job file" : "records needs the record store's file";
    if (runJob && o.port.empty()) return "no port given (--port NAME)";
    return {};
}

std::string Dump(const Json& j)
{
    return j.dump(-1, ' ', false, Json::error_handler_t::replace);
}

class Lines {
public:
    Lines(bool json, std::FILE* out, std::FILE* err) : json_(json), out_(out), err_(err) {}
    bool Json() const { return json_; }
    void Emit(const ::nlohmann::ordered_json& j)
    {
        std::fprintf(out_, "%s\n", Dump(j).c_str());
        std::fflush(out_);
    }
    void Say(const std::string& line)
    {
        if (json_) return;
        std::fprintf(out_, "%s\n", line.c_str());
        std::fflush(out_);
    }
    void Error(const std::string& message)
    {
        std::fprintf(err_, "quillon-cli: %s\n", message.c_str());
        std::fflush(err_);
        if (json_) Emit({{"type", "error"}, {"text", message}});
    }
    // What the operator must know that is no error: on standard error, or a `notice` event.
    void Note(const std::string& message)
    {
        if (json_) {
            Emit({{"type", "notice"}, {"text", message}});
            return;
        }
        std::fprintf(err_, "quillon-cli: %s\n", message.c_str());
        std::fflush(err_);
    }
    int Exit(int status)
    {
        if (json_) Emit({{"type", "exit"}, {"status", status}});
        return status;
    }

private:
    bool json_;
    std::FILE* out_;
    std::FILE* err_;
};

std::string Padded(std::int64_t id)
{
    char text[24];
    std::snprintf(text, sizeof text, "%04lld", static_cast<long long>(id));
    return text;
}

std::string Seconds(double seconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", seconds);
    return text;
}

// The operator's lines on standard input, read without stdio so a cancel can end the wait.
class OperatorInput {
public:
    enum class Got { Line, End, Cancelled };

    Got Next(const CancelRequest& cancel)
    {
        while (true) {
            if (const std::size_t nl = buffer_.find('\n'); nl != std::string::npos) {
                buffer_.erase(0, nl + 1);
                return Got::Line;
            }
            if (ended_) {
                // A last line without its newline still asks for a chip.
                if (!buffer_.empty()) {
                    buffer_.clear();
                    return Got::Line;
                }
                return Got::End;
            }
            if (cancel.Requested()) return Got::Cancelled;
            pollfd p{STDIN_FILENO, POLLIN, 0};
            const int r = ::poll(&p, 1, 100);
            if (r < 0 && errno != EINTR) {
                ended_ = true;
                continue;
            }
            if (r <= 0) continue;
            char chunk[256];
            const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
            if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
            if (n <= 0)
                ended_ = true;
            else
                buffer_.append(chunk, static_cast<std::size_t>(n));
        }
    }

private:
    std::string buffer_;
    bool ended_ = false;
};

void SleepUnlessCancelled(const CancelRequest& cancel, std::chrono::milliseconds total)
{
    const auto until = std::chrono::steady_clock::now() + total;
    while (!cancel.Requested() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

std::string SignalName(int signal)
{
    return signal == SIGINT ? "SIGINT" : signal == SIGTERM ? "SIGTERM" : "the user";
}

int RunJob(const JobOptions& o, Lines& lines, bool watchSignals)
{
    JobCheck checked = ReadJob(o.job);
    if (!checked.job) {
        lines.Error(checked.error);
        return lines.Exit(kExitFailure);
    }
    const Job& job = *checked.job;
    const std::string recordsFile = !o.records.empty() ? o.records
                                    : !job.recordsFile.empty() ? job.recordsFile
                                                               : DefaultRecordsFile(job);
    std::string error;
    std::unique_ptr<RecordStore> store = OpenRecordStore(recordsFile, error);
    if (!store) {
        lines.Error(error);
        return lines.Exit(kExitFailure);
    }

    Session session(sim::OpenAnyPort);
    std::unique_ptr<SignalWatcher> signals;
    if (watchSignals) signals = std::make_unique<SignalWatcher>(session.bus.cancel);
    ProductionRun run(session, job, *store, o.port);
    run.onNotice = [&](const std::string& line) { lines.Note(line); };
    if (std::string e = run.Prepare(); !e.empty()) {
        lines.Error(e);
        return lines.Exit(kExitFailure);
    }
    run.onStep = [&](std::int64_t chip, const std::string& step, bool done, bool ok) {
        if (!lines.Json() || !done) return;
        lines.Emit({{"type", "step"}, {"chip", chip}, {"step", step}, {"ok", ok}});
    };

    const std::optional<std::uint64_t> next = run.NextSerial(error);
    if (!error.empty()) {
        lines.Error(error);
        return lines.Exit(kExitFailure);
    }
    if (lines.Json()) {
        Json start = {{"type", "job"},   {"name", job.name},      {"chip", std::string(job.chip->name)},
                      {"hash", job.hash}, {"records", store->Location()}, {"port", o.port}};
        if (next) start["next_serial"] = *next;
        lines.Emit(start);
    } else {
        lines.Say("Job " + job.name + " for the " + std::string(job.chip->name) + " (" + job.hash.substr(0, 12) +
                  "), records in " + store->Location() + (next ? ", next serial " + std::to_string(*next) : ""));
    }
    if (job.serial && !next) {
        lines.Error(kNoNumbersLeft);
        return lines.Exit(kExitFailure);
    }

    const bool prompt = !o.detect && ::isatty(STDIN_FILENO) && !lines.Json();
    OperatorInput input;
    long chips = 0, passed = 0;
    bool stoppedShort = false;  // the run ended before what was asked for, for a reason of its own
    const CancelRequest& cancel = session.bus.cancel;
    while (!o.count || chips < *o.count) {
        if (o.detect) {
            // A chip counts as put in when its signature answers; the socket is powered for the
            // read alone.
            bool present = false;
            while (!present && !cancel.Requested()) {
                const std::optional<std::int32_t> found = run.ReadSocket(error);
                if (!found) {
                    lines.Error(error);
                    stoppedShort = true;
                    break;
                }
                present = !ProductionRun::Empty(*found);
                if (!present) SleepUnlessCancelled(cancel, std::chrono::milliseconds(500));
            }
            if (stoppedShort || !present) break;
        } else {
            if (prompt) {
                std::fputs("Put the next chip in the socket and press Enter (Ctrl-D ends the run)\n", stderr);
                std::fflush(stderr);
            }
            if (input.Next(cancel) != OperatorInput::Got::Line) break;
        }
        if (cancel.Requested()) break;
        const ChipOutcome outcome = run.ProgramChip(o.detect);
        if (outcome.ending == ChipEnding::Stopped) {
            lines.Error(outcome.reason);
            stoppedShort = true;
            break;
        }
        ++chips;
        const char* result = outcome.ending == ChipEnding::Passed   ? kPassed
                             : outcome.ending == ChipEnding::Failed ? kFailed
                                                                    : kCancelled;
        if (outcome.ending == ChipEnding::Passed) ++passed;
        if (lines.Json()) {
            Json line = {{"type", "chip-result"}, {"chip", outcome.id}, {"result", result}};
            line["serial"] = outcome.serial ? Json(*outcome.serial) : Json(nullptr);
            line["reason"] = outcome.ending == ChipEnding::Passed ? Json(nullptr) : Json(outcome.reason);
            line["fuses"] = outcome.fuses;
            line["seconds"] = outcome.seconds;
            lines.Emit(line);
        } else {
            const std::string number = Padded(outcome.id);
            if (outcome.ending == ChipEnding::Passed)
                lines.Say("PASS " + number + (outcome.serial ? "  serial " + std::to_string(*outcome.serial) : "") +
                          "  " + Seconds(outcome.seconds));
            else
                lines.Say((outcome.ending == ChipEnding::Failed ? "FAIL " : "CANCELLED ") + number + "  " +
                          outcome.reason);
        }
        if (!outcome.storeError.empty()) {
            lines.Error(outcome.storeError);
            stoppedShort = true;
            break;
        }
        if (outcome.ending == ChipEnding::Cancelled) break;
        if (o.detect && !cancel.Requested() && (!o.count || chips < *o.count)) {
            // The next chip is the one put in after this one is taken out.
            while (!cancel.Requested()) {
                const std::optional<std::int32_t> found = run.ReadSocket(error);
                if (!found) {
                    lines.Error(error);
                    stoppedShort = true;
                    break;
                }
                if (ProductionRun::Empty(*found)) break;
                SleepUnlessCancelled(cancel, std::chrono::milliseconds(500));
            }
            if (stoppedShort) break;
        }
    }
    run.Disconnect();

    const long failed = chips - passed;
    if (lines.Json())
        lines.Emit({{"type", "run"}, {"chips", chips}, {"passed", passed}, {"failed", failed}});
    else
        lines.Say("Run ended: " + std::to_string(chips) + " chip" + (chips == 1 ? "" : "s") + ", " +
                  std::to_string(passed) + " passed, " + std::to_string(failed) + " not");
    if (cancel.Requested()) {
        lines.Error("cancelled by " + SignalName(cancel.Reason()));
        return lines.Exit(cancel.Reason() > 0 ? ExitStatusFor(cancel.Reason()) : kExitFailure);
    }
    if (o.count && chips < *o.count && !stoppedShort)
        lines.Error("the run ended after " + std::to_string(chips) + " of " + std::to_string(*o.count) + " chips");
    const bool allPassed = passed == chips && !stoppedShort && (!o.count || chips == *o.count);
    return lines.Exit(allPassed ? kExitSuccess : kExitFailure);
}

int Records(const JobOptions& o, Lines& lines, std::FILE* out)
{
    std::string error;
    std::unique_ptr<RecordStore> store = OpenExistingRecordStore(o.job, error);
    if (!store) {
        lines.Error(error);
        return lines.Exit(kExitFailure);
    }
    if (o.csv) {
        const std::vector<ChipRecord> rows = store->Chips(error);
        if (!error.empty()) {
            lines.Error(error);
            return kExitFailure;
        }
        std::fputs(ChipsCsv(rows).c_str(), out);
        std::fflush(out);
        return kExitSuccess;
    }
    const Summary s = store->Summarize(5, error);
    if (!error.empty()) {
        lines.Error(error);
        return lines.Exit(kExitFailure);
    }
    const double yield = s.passed + s.failed > 0 ? 100.0 * static_cast<double>(s.passed) /
                                                       static_cast<double>(s.passed + s.failed)
                                                 : 0.0;
    if (lines.Json()) {
        Json j = {{"type", "records"}, {"chips", s.chips},         {"passed", s.passed},
                  {"failed", s.failed}, {"cancelled", s.cancelled}, {"unfinished", s.unfinished},
                  {"yield", yield}};
        j["first_serial"] = s.firstSerial ? Json(*s.firstSerial) : Json(nullptr);
        j["last_serial"] = s.lastSerial ? Json(*s.lastSerial) : Json(nullptr);
        Json failures = Json::array();
        for (const ChipRecord& r : s.lastFailures)
            failures.push_back({{"chip", r.id},
                                {"serial", r.serial ? Json(*r.serial) : Json(nullptr)},
                                {"finished", r.finished ? Json(*r.finished) : Json(nullptr)},
                                {"reason", r.reason ? Json(*r.reason) : Json(nullptr)}});
        j["last_failures"] = failures;
        lines.Emit(j);
        return lines.Exit(kExitSuccess);
    }
    char yieldText[32];
    std::snprintf(yieldText, sizeof yieldText, "%.1f %%", yield);
    lines.Say("Chips:     " + std::to_string(s.chips));
    lines.Say("Passed:    " + std::to_string(s.passed));
    lines.Say("Failed:    " + std::to_string(s.failed));
    if (s.cancelled > 0) lines.Say("Cancelled: " + std::to_string(s.cancelled));
    if (s.unfinished > 0) lines.Say("Unfinished: " + std::to_string(s.unfinished));
    lines.Say(std::string("Yield:     ") + (s.passed + s.failed > 0 ? yieldText : "-"));
    lines.Say("Serials:   " + (s.firstSerial ? std::to_string(*s.firstSerial) + " to " + std::to_string(*s.lastSerial)
                                             : std::string("none")));
    if (!s.lastFailures.empty()) {
        lines.Say("Last failures:");
        for (const ChipRecord& r : s.lastFailures)
            lines.Say("  " + Padded(r.id) + "  " + (r.finished ? *r.finished : r.started) +
                      (r.serial ? "  serial " + std::to_string(*r.serial) : "") + "  " + r.reason.value_or(""));
    }
    return kExitSuccess;
}

}  // namespace

bool IsProductionCommand(const std::vector<std::string>& args)
{
    return !args.empty() && (args[0] == "run-job" || args[0] == "records");
}

int RunProductionCommand(const std::vector<std::string>& args, std::FILE* out, std::FILE* err, bool watchSignals)
{
    JobOptions o;
    const std::string wrong = Parse(args, o);
    Lines lines(o.json || std::find(args.begin(), args.end(), "--json") != args.end(), out, err);
    if (!wrong.empty()) {
        lines.Error(wrong);
        if (!lines.Json()) std::fputs("Try 'quillon-cli --help'.\n", err);
        return lines.Exit(kExitUsage);
    }
    if (args[0] == "records") return Records(o, lines, out);
    return RunJob(o, lines, watchSignals);
}

}  // namespace quillon::cli
