#include "cli/Run.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cctype>
#include <memory>

#include "chips/Catalogue.h"
#include "cli/ChipList.h"
#include "cli/Commands.h"
#include "cli/FuseWords.h"
#include "cli/Options.h"
#include "cli/PortListing.h"
#include "cli/SignalWatcher.h"
#include "cli/WiringFile.h"
#include "cli/Output.h"
#include "cli/Production.h"
#include "core/OneLine.h"
#include "model/SimDevice.h"
#include "operations/ChipSelection.h"
#include "operations/Connection.h"
#include "operations/Session.h"

namespace quillon::cli {

namespace {

bool SameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

const ChipRow* FindChipNamed(std::string_view name)
{
    for (const ChipRow& entry : Catalogue())
        if (SameName(entry.name, name)) return &entry;
    return nullptr;
}

std::string ChipNames()
{
    std::string names;
    for (const ChipRow& entry : Catalogue()) {
        if (!names.empty()) names += ", ";
        names += entry.name;
    }
    return names;
}

std::string SignalName(int signal)
{
    if (signal == SIGINT) return "SIGINT";
    if (signal == SIGTERM) return "SIGTERM";
    if (signal == SIGHUP) return "SIGHUP";
    return "a signal";
}

// The last line of a run a signal stopped, and its exit status: a shell's for that signal.
int Interrupted(Session& session, Output& output, const std::string& what)
{
    const int signal = session.bus.cancel.Reason();
    if (session.bus.link.IsOpen()) Disconnect(session);
    output.Error("cancelled by " + SignalName(signal) + (what.empty() ? "" : ": " + what));
    const int status = signal > 0 ? ExitStatusFor(signal) : kExitFailure;
    output.Exit(status, {});
    return status;
}

// The lines after a failure's first, which say why: "; "-joined for the last line, which the
// log's lines have scrolled away from. Empty when the failure has no more to say.
std::string Explanation(const std::string& words)
{
    const std::size_t first = words.find('\n');
    if (first == std::string::npos) return {};
    std::string rest = words.substr(first + 1);
    for (std::size_t at = rest.find('\n'); at != std::string::npos; at = rest.find('\n', at))
        rest.replace(at, 1, "; ");
    return ": " + rest;
}

// A file to save that is standard output itself: its bytes would land among the JSON lines, which
// promise one object a line. A null device takes both without harm.
bool IsStandardOutput(const std::string& file, std::FILE* out)
{
    if (file == "-" || file == "/dev/stdout" || file == "/dev/fd/1" || file == "/proc/self/fd/1") return true;
    struct stat ours {};
    struct stat theirs {};
    if (::fstat(::fileno(out), &ours) != 0 || ::stat(file.c_str(), &theirs) != 0) return false;
    if (ours.st_dev != theirs.st_dev || ours.st_ino != theirs.st_ino) return false;
    return !S_ISCHR(ours.st_mode) || ::isatty(::fileno(out)) != 0;
}

}  // namespace

int Run(const std::vector<std::string>& args, std::FILE* out, std::FILE* err, bool watchSignals)
{
    if (IsProductionCommand(args)) return RunProductionCommand(args, out, err, watchSignals);
    if (IsListPortsCommand(args)) return ListPorts(args, out, err);
    ParseResult parsed = ParseOptions(args);
    if (!parsed.options) {
        // Asked for JSON, a script gets its answer as JSON even when the line is wrong.
        const bool json = std::find(args.begin(), args.end(), "--json") != args.end();
        Output output(json, out, err);
        output.Error(parsed.error);
        if (!json) std::fputs("Try 'quillon-cli --help'.\n", err);
        output.Exit(kExitUsage, {});
        return kExitUsage;
    }
    const Options& options = *parsed.options;
    Output output(options.json, out, err);
    if (options.help) {
        output.Text(UsageText());
        return kExitSuccess;
    }
    if (options.version) {
        output.Version(QUILLON_VERSION);
        return kExitSuccess;
    }
    if (options.listChips) {
        output.Chips(ChipListRows());
        return kExitSuccess;
    }
    if (options.json)
        for (const Command& command : options.commands)
            if ((command.kind == CommandKind::ReadProgram || command.kind == CommandKind::ReadData) &&
                IsStandardOutput(command.argument, out)) {
                output.Error(std::string(CommandWord(command.kind)) + ": \"" + command.argument +
                             "\" is standard output, which --json keeps for its lines; save to a file");
                output.Exit(kExitUsage, {});
                return kExitUsage;
            }
    if (options.explainFuses) return ExplainFuses(options, output);
    if (options.fuseSettings) return ShowFuseSettings(options, output);
    const ChipRow* chosen = nullptr;
    if (!options.chip.empty()) {
        chosen = FindChipNamed(options.chip);
        if (chosen == nullptr) {
            output.Error("unknown chip \"" + options.chip + "\"; the chips are: " + ChipNames());
            output.Exit(kExitUsage, {});
            return kExitUsage;
        }
    }
    if (options.wiring) {
        const Failure written = WriteWiringFile(chosen->name, options.out);
        if (written.Failed()) {
            output.Error("wiring: " + written.words);
            output.Exit(kExitFailure, {"wiring"});
            return kExitFailure;
        }
        output.Log("Wrote how to connect the " + std::string(chosen->name) + " to " + options.out);
        output.Result("wiring", options.out, true);
        output.Exit(kExitSuccess, {});
        return kExitSuccess;
    }

    // "sim:ATmega8" opens the built-in simulated gateway, anything else a serial port.
    Session session(sim::OpenAnyPort);
    std::unique_ptr<SignalWatcher> signals;
    if (watchSignals) signals = std::make_unique<SignalWatcher>(session.bus.cancel);
    session.bus.delay = options.delay;
    session.checkChipInSocket = options.checkSignature;
    session.serialAutosearch = options.checkSignature;
    session.skipBlankPages = !options.wholeMemory;
    session.bus.confirmAnswers = options.confirmAnswers;
    session.powerDownAfterCommand = options.powerDown;
    session.readBackFuses = options.verifyWrites;
    session.bus.link.SetAnswerBound(std::chrono::milliseconds(options.answerTimeoutMs));
    session.answersInFlight = options.answersInFlight;
    session.unboundedInFlight = options.unboundedInFlight;
    session.progress = output.Progress();
    session.bus.log.SetListener([&output](const std::string& line) { output.Log(line); });

    auto give_up = [&](const std::string& why) {
        output.Error(why);
        output.Exit(kExitFailure, {});
        return kExitFailure;
    };
    if (const quillon::Result opened = Connect(session, options.port); !opened)
        return give_up("cannot open the port \"" + options.port + "\"" + Explanation(opened.Words()));
    if (session.bus.cancel.Requested()) return Interrupted(session, output, "the chip is unchanged");
    if (chosen != nullptr) {
        SelectChip(session, chosen->signature);
    } else if (!Autosearch(session)) {
        Disconnect(session);
        return give_up("no chip found in the socket; name it with --chip");
    }

    CommandKind current = CommandKind::Erase;
    Confirm confirm = [&](const Question& question) {
        const bool forced = question.risk != Risk::DataLoss;
        if (forced ? options.force : options.yes) return true;
        output.Error(std::string(CommandWord(current)) + " refused: \"" + std::string(question.text) +
                     "\" was not answered; add " + (forced ? "--force" : "--yes") + " to allow it");
        return false;
    };
    // Every command runs, as the window would run them one after the other; the exit status and
    // the last line on stderr tell which did not succeed.
    std::vector<std::string> failed;
    for (const Command& command : options.commands) {
        const std::string word(CommandWord(command.kind));
        if (session.bus.cancel.Requested()) return Interrupted(session, output, word + " and what follows did not run");
        current = command.kind;
        output.SetCommand(word);
        const int errorsBefore = output.ErrorsShown();
        const quillon::Result result = RunCommand(session, command, confirm, options, output);
        // Why it failed goes to stderr too, unless the command said so there itself: with the
        // log sent to a file, stderr is all a person watching sees.
        if (result.ending == quillon::Ending::Failed && output.ErrorsShown() == errorsBefore &&
            !OneLine(result.Words()).empty()) {
            std::string why = word + ": " + OneLine(result.Words());
            // The log names the address only; whoever reads this also wants both bytes.
            if (const auto& difference = result.failure.difference) why += "; " + DifferenceText(*difference);
            output.Error(why);
        }
        output.Result(word, command.argument, result.Succeeded());
        if (result.WasCancelled()) {
            output.SetCommand({});
            std::string holds = result.Words();
            if (!holds.empty()) holds[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(holds[0])));
            return Interrupted(session, output, word + " stopped; " + holds);
        }
        if (!result) failed.push_back(word);
    }
    output.SetCommand({});
    // A signal during a command that runs to its end anyway (an erase, the fuses, a file save).
    if (session.bus.cancel.Requested()) return Interrupted(session, output, "after the last command");
    if (session.bus.link.IsOpen()) Disconnect(session);
    if (failed.empty()) {
        output.Exit(kExitSuccess, failed);
        return kExitSuccess;
    }
    std::string names;
    for (const std::string& word : failed) names += (names.empty() ? "" : ", ") + word;
    output.Error("failed: " + names);
    output.Exit(kExitFailure, failed);
    return kExitFailure;
}

}  // namespace quillon::cli
