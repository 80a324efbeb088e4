#include "cli/Run.h"

#include <unistd.h>

#include <cctype>

#include "chips/Catalogue.h"
#include "cli/ChipList.h"
#include "cli/Commands.h"
#include "cli/Options.h"
#include "cli/TerminalProgress.h"
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

}  // namespace

int Run(const std::vector<std::string>& args, std::FILE* out, std::FILE* err)
{
    ParseResult parsed = ParseOptions(args);
    if (!parsed.options) {
        std::fprintf(err, "quillon-cli: %s\nTry 'quillon-cli --help'.\n", parsed.error.c_str());
        return kExitUsage;
    }
    const Options& options = *parsed.options;
    if (options.help) {
        std::fputs(UsageText().c_str(), out);
        return kExitSuccess;
    }
    if (options.listChips) {
        std::fputs(ChipListText(ChipListRows()).c_str(), out);
        return kExitSuccess;
    }
    const ChipRow* chosen = nullptr;
    if (!options.chip.empty()) {
        chosen = FindChipNamed(options.chip);
        if (chosen == nullptr) {
            std::fprintf(err, "quillon-cli: unknown chip \"%s\"; the chips are: %s\n",
                         options.chip.c_str(), ChipNames().c_str());
            return kExitUsage;
        }
    }

    // "sim:ATmega8" opens the built-in simulated gateway, anything else a serial port.
    Session session(sim::OpenAnyPort);
    session.bus.delay = options.delay;
    session.checkChipInSocket = options.checkSignature;
    AttachViews(session);
    session.views.activePage = options.page;

    TerminalProgress bar(err);
    if (isatty(fileno(err))) session.progress = &bar;
    session.bus.log.SetListener([&bar, out](const std::string& line) {
        bar.Hide();
        std::fputs(line.c_str(), out);
        std::fputc('\n', out);
        std::fflush(out);
        bar.Show();
    });

    if (!Connect(session, options.port)) {
        std::fprintf(err, "quillon-cli: cannot open the port \"%s\"\n", options.port.c_str());
        return kExitFailure;
    }
    if (chosen != nullptr) {
        SelectChip(session, chosen->signature);
    } else if (!Autosearch(session)) {
        std::fprintf(err, "quillon-cli: no chip found in the socket; name it with --chip\n");
        Disconnect(session);
        return kExitFailure;
    }

    CommandKind current = CommandKind::Erase;
    Confirm confirm = [&](const Question& question) {
        const bool forced = question.risk != Risk::DataLoss;
        if (forced ? options.force : options.yes) return true;
        std::fprintf(err, "quillon-cli: %s refused: \"%.*s\" was not answered; add %s to allow it\n",
                     std::string(CommandWord(current)).c_str(), static_cast<int>(question.text.size()),
                     question.text.data(), forced ? "--force" : "--yes");
        return false;
    };
    // Every command runs, as the window would run them one after the other; the exit status and
    // the last line on stderr tell which did not succeed.
    std::string failed;
    for (const Command& command : options.commands) {
        current = command.kind;
        if (!RunCommand(session, command, confirm, out, err))
            failed += (failed.empty() ? "" : ", ") + std::string(CommandWord(command.kind));
    }
    if (session.bus.link.IsOpen()) Disconnect(session);
    if (failed.empty()) return kExitSuccess;
    std::fprintf(err, "quillon-cli: failed: %s\n", failed.c_str());
    return kExitFailure;
}

}  // namespace quillon::cli
