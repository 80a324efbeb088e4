#include "cli/Production.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <csignal>
#include <memory>
#include <mutex>
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
#include "production/Line.h"
#include "production/ProductionRun.h"
#include "production/RecordStore.h"

namespace quillon::cli {

namespace {

using Json = nlohmann::ordered_json;
using namespace quillon::production;

struct JobOptions {
    std::string job;
    std::string port;
    std::vector<std::string> ports;  // --port P1,P2,...: one gateway each
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
    if (runJob) {
        // A comma separates the gateways of a line; no port's name holds one.
        for (std::size_t from = 0;;) {
            const std::size_t comma = o.port.find(',', from);
            const std::string one = o.port.substr(from, comma == std::string::npos ? std::string::npos : comma - from);
            if (one.empty()) return "--port: an empty port name in \"" + o.port + "\"";
            if (std::find(o.ports.begin(), o.ports.end(), one) != o.ports.end())
                return "--port names \"" + one + "\" twice";
            o.ports.push_back(one);
            if (comma == std::string::npos) break;
            from = comma + 1;
        }
    }
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
        std::lock_guard lock(mutex_);
        std::fprintf(out_, "%s\n", Dump(j).c_str());
        std::fflush(out_);
    }
    void Say(const std::string& line)
    {
        if (json_) return;
        std::lock_guard lock(mutex_);
        std::fprintf(out_, "%s\n", line.c_str());
        std::fflush(out_);
    }
    // `port` names the gateway of a line that the message is about; empty for the whole run.
    void Error(const std::string& message, const std::string& port = {})
    {
        std::lock_guard lock(mutex_);
        std::fprintf(err_, "quillon-cli: %s%s\n", port.empty() ? "" : (port + ": ").c_str(), message.c_str());
        std::fflush(err_);
        if (!json_) return;
        ::nlohmann::ordered_json j = {{"type", "error"}};
        if (!port.empty()) j["port"] = port;
        j["text"] = message;
        Emit(j);
    }
    // What the operator must know that is no error: on standard error, or a `notice` event.
    void Note(const std::string& message, const std::string& port = {})
    {
        std::lock_guard lock(mutex_);
        if (json_) {
            ::nlohmann::ordered_json j = {{"type", "notice"}};
            if (!port.empty()) j["port"] = port;
            j["text"] = message;
            Emit(j);
            return;
        }
        std::fprintf(err_, "quillon-cli: %s%s\n", port.empty() ? "" : (port + ": ").c_str(), message.c_str());
        std::fflush(err_);
    }
    int Exit(int status)
    {
        if (json_) Emit({{"type", "exit"}, {"status", status}});
        return status;
    }

private:
    std::recursive_mutex mutex_;  // a line's gateways report from their own threads
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

// One chip's result line, or its chip-result event; a line's gateway tags it with its port.
void SayChip(Lines& lines, const ChipOutcome& outcome, const std::string& port = {})
{
    const char* result = outcome.ending == ChipEnding::Passed   ? kPassed
                         : outcome.ending == ChipEnding::Failed ? kFailed
                                                                : kCancelled;
    if (lines.Json()) {
        Json line = {{"type", "chip-result"}};
        if (!port.empty()) line["port"] = port;
        line["chip"] = outcome.id;
        line["result"] = result;
        line["serial"] = outcome.serial ? Json(*outcome.serial) : Json(nullptr);
        line["reason"] = outcome.ending == ChipEnding::Passed ? Json(nullptr) : Json(outcome.reason);
        line["fuses"] = outcome.fuses;
        line["seconds"] = outcome.seconds;
        lines.Emit(line);
        return;
    }
    const std::string tag = port.empty() ? "" : port + ": ";
    const std::string number = Padded(outcome.id);
    if (outcome.ending == ChipEnding::Passed)
        lines.Say(tag + "PASS " + number + (outcome.serial ? "  serial " + std::to_string(*outcome.serial) : "") +
                  "  " + Seconds(outcome.seconds));
    else
        lines.Say(tag + (outcome.ending == ChipEnding::Failed ? "FAIL " : "CANCELLED ") + number + "  " + outcome.reason);
}

std::string RunEnded(long chips, long passed)
{
    return std::to_string(chips) + " chip" + (chips == 1 ? "" : "s") + ", " + std::to_string(passed) + " passed, " +
           std::to_string(chips - passed) + " not";
}

// The operator's lines on standard input, read without stdio so a cancel can end the wait.
class OperatorInput {
public:
    enum class Got { Line, End, Cancelled };

    Got Next(const CancelRequest& cancel)
    {
        return Next([&] { return cancel.Requested(); });
    }
    // `stop` is asked between waits: true ends the wait as a cancel.
    template <typename Stop>
    Got Next(Stop&& stop)
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
            if (stop()) return Got::Cancelled;
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

// The run's first event: the job, where its records go, its port or ports, the next number.
void EmitJob(Lines& lines, const Job& job, const std::string& records, const std::pair<const char*, Json>& where,
             std::optional<std::uint64_t> next)
{
    Json start = {{"type", "job"}, {"name", job.name}, {"chip", std::string(job.chip->name)}, {"hash", job.hash},
                  {"records", records}, {where.first, where.second}};
    if (next) start["next_serial"] = *next;
    lines.Emit(start);
}

std::string SignalName(int signal)
{
    return signal == SIGINT ? "SIGINT" : signal == SIGTERM ? "SIGTERM" : "the user";
}

// Several gateways at once: one worker each, all drawing from one store. Every line about a
// gateway is tagged with its port; the lines about the whole run are not.
int RunLine(const JobOptions& o, const Job& job, const std::string& recordsFile, Lines& lines, bool watchSignals)
{
    // Made before any worker, so the signals reach this thread alone; passed on to every gateway.
    CancelRequest interrupt;
    std::unique_ptr<SignalWatcher> signals;
    if (watchSignals) signals = std::make_unique<SignalWatcher>(interrupt);

    LineSettings settings;
    settings.ports = o.ports;
    settings.records = recordsFile;
    settings.count = o.count;
    settings.detect = o.detect;
    settings.opener = sim::OpenAnyPort;
    Line line(job, settings);
    if (std::string e = line.Open(); !e.empty()) {
        lines.Error(e);
        return lines.Exit(kExitFailure);
    }
    std::string error;
    const std::optional<std::uint64_t> next = line.NextSerial(error);
    if (!error.empty()) {
        lines.Error(error);
        return lines.Exit(kExitFailure);
    }
    if (lines.Json()) EmitJob(lines, job, line.StoreLocation(), {"ports", o.ports}, next); else {
        lines.Say("Job " + job.name + " for the " + std::string(job.chip->name) + " (" + job.hash.substr(0, 12) +
                  "), records in " + line.StoreLocation() + (next ? ", next serial " + std::to_string(*next) : ""));
        std::string all;
        for (const std::string& port : o.ports) all += (all.empty() ? "" : ", ") + port;
        lines.Say(std::to_string(o.ports.size()) + " gateways: " + all);
    }
    if (job.serial && !next) {
        lines.Error(kNoNumbersLeft);
        return lines.Exit(kExitFailure);
    }

    line.onStep = [&](std::size_t g, std::int64_t chip, const std::string& step, bool done, bool ok) {
        if (!lines.Json() || !done) return;
        lines.Emit({{"type", "step"}, {"port", o.ports[g]}, {"chip", chip}, {"step", step}, {"ok", ok}});
    };
    line.onChip = [&](std::size_t g, const ChipOutcome& outcome) { SayChip(lines, outcome, o.ports[g]); };
    line.onNotice = [&](std::size_t g, const std::string& text) { lines.Note(text, o.ports[g]); };
    line.onState = [&](std::size_t g, const GatewayStatus& status) {
        if (status.state == GatewayState::Stopped) lines.Error(status.reason, o.ports[g]);
    };

    line.Start();
    const bool prompt = !o.detect && ::isatty(STDIN_FILENO) && !lines.Json();
    OperatorInput input;
    auto forwardSignal = [&] {
        if (interrupt.Requested() && line.CancelReason() == CancelRequest::None) line.Cancel(interrupt.Reason());
        return interrupt.Requested();
    };
    while (!line.Ended() && !forwardSignal()) {
        if (o.detect) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            continue;
        }
        // A line is read only when a gateway waits for it, so lines typed or piped ahead are not
        // spent on gateways still busy with their chips.
        if (!line.WaitForWaiting(std::chrono::milliseconds(100))) continue;
        if (prompt) {
            std::string waiting;
            for (std::size_t g = 0; g < line.Size(); ++g)
                if (line.Status(g).state == GatewayState::Waiting) waiting += (waiting.empty() ? "" : ", ") + o.ports[g];
            std::fprintf(stderr, "Put the next chips in the sockets of %s and press Enter (Ctrl-D ends the run)\n",
                         waiting.c_str());
            std::fflush(stderr);
        }
        const OperatorInput::Got got = input.Next([&] { return interrupt.Requested() || line.Ended(); });
        if (got == OperatorInput::Got::Line) line.Next();
        if (got == OperatorInput::Got::End) line.EndInput();
    }
    while (!line.Ended()) {
        forwardSignal();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    line.Wait();

    long chips = 0, passed = 0;
    for (std::size_t g = 0; g < line.Size(); ++g) {
        const GatewayStatus s = line.Status(g);
        chips += s.chips;
        passed += s.passed;
        if (lines.Json())
            lines.Emit({{"type", "run"}, {"port", s.port}, {"chips", s.chips}, {"passed", s.passed},
                        {"failed", s.chips - s.passed}});
        else
            lines.Say(s.port + ": Run ended: " + RunEnded(s.chips, s.passed) +
                      (s.state == GatewayState::Stopped ? " (stopped)" : ""));
        if (o.count && s.chips < *o.count && s.state == GatewayState::Done && !interrupt.Requested())
            lines.Error("the run ended after " + std::to_string(s.chips) + " of " + std::to_string(*o.count) + " chips",
                        s.port);
    }
    if (lines.Json())
        lines.Emit({{"type", "line"}, {"gateways", line.Size()}, {"chips", chips}, {"passed", passed},
                    {"failed", chips - passed}});
    else
        lines.Say("Line ended: " + RunEnded(chips, passed) + " on " + std::to_string(line.Size()) + " gateways");
    if (interrupt.Requested()) {
        lines.Error("cancelled by " + SignalName(interrupt.Reason()));
        return lines.Exit(interrupt.Reason() > 0 ? ExitStatusFor(interrupt.Reason()) : kExitFailure);
    }
    return lines.Exit(line.AllWell() ? kExitSuccess : kExitFailure);
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
    if (o.ports.size() > 1) return RunLine(o, job, recordsFile, lines, watchSignals);
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
    if (lines.Json()) EmitJob(lines, job, store->Location(), {"port", o.port}, next); else {
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
        if (outcome.ending == ChipEnding::Passed) ++passed;
        SayChip(lines, outcome);
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
        lines.Say("Run ended: " + RunEnded(chips, passed));
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
