#include "cli/Commands.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "chips/Catalogue.h"
#include "cli/Options.h"
#include "images/FileCommands.h"
#include "operations/CommandFrame.h"
#include "operations/LockFuses.h"
#include "operations/MemoryCommands.h"
#include "operations/Session.h"

namespace quillon::cli {

namespace {

// The file's own name decides its format, and the name is kept as given: a script that asks
// for out.eep gets out.eep.
Result Load(Session& session, MemoryKind kind, const std::string& file)
{
    // What the file does not cover is written and compared as erased, never as whatever an
    // earlier command left in the image.
    ResetImage(session.chip, kind == MemoryKind::Program ? 1 : 2);
    return LoadFormatFor(file) == FileFormat::Binary ? LoadBinFile(session, file, kind)
                                                     : LoadHexFile(session, file, kind);
}

// Which bytes of the image the file gave: a byte the file sets loads the same whatever the image
// held before, one it leaves out keeps the fill. So the file is read a second time, without a
// log, into an image filled with 0x00 instead of 0xFF, and the two are compared.
std::vector<std::uint8_t> CoveredBytes(Session& session, MemoryKind kind, const std::string& file)
{
    Log quiet;
    auto scratch = std::make_unique<Chip>(session.chip);
    ViewSet views;
    const std::span<std::uint8_t> probe = ChipMemory(*scratch, kind);
    std::fill(probe.begin(), probe.end(), 0x00);
    const Workspace ws{quiet, *scratch, views, nullptr};
    if (LoadFormatFor(file) == FileFormat::Binary)
        LoadBinFile(ws, file, kind);
    else
        LoadHexFile(ws, file, kind);
    const std::span<const std::uint8_t> loaded = ChipMemory(session.chip, kind);
    std::vector<std::uint8_t> covered(loaded.size());
    for (std::size_t i = 0; i < covered.size(); ++i) covered[i] = loaded[i] == probe[i] ? 1 : 0;
    return covered;
}

// Loads the file to verify against; unless the whole memory is asked for, notes which bytes it
// gives, so that only those are compared.
Result LoadReference(Session& session, MemoryKind kind, const std::string& file, bool wholeMemory)
{
    auto& covered = kind == MemoryKind::Program ? session.coveredProgram : session.coveredData;
    covered.reset();
    Result loaded = Load(session, kind, file);
    if (loaded && !wholeMemory) covered = CoveredBytes(session, kind, file);
    return loaded;
}

Result Save(Session& session, MemoryKind kind, const std::string& file)
{
    return LoadFormatFor(file) == FileFormat::Binary ? SaveBinFile(session, file, kind)
                                                     : SaveHexFile(session, file, kind);
}

void PrintFuses(const LockFusesDialog& dialog, const Chip& chip, std::FILE* out)
{
    for (std::size_t g = 0; g < dialog.group.size(); ++g) {
        const FuseGroup& group = dialog.group[g];
        if (!group.visible) continue;
        std::string line = group.caption + ": 0x" + ByteDigits(chip.lockFuse[g]) + "  programmed:";
        bool any = false;
        for (int b = 7; b >= 0; --b) {
            const FuseBox& box = group.box[static_cast<std::size_t>(b)];
            if (box.visible && box.checked) {
                line += " " + box.caption;
                any = true;
            }
        }
        if (!any) line += " none";
        std::fprintf(out, "%s\n", line.c_str());
    }
    std::fflush(out);
}

Result ReadFuses(Session& session, std::FILE* out)
{
    LockFusesDialog dialog = OpenLockFusesDialog(session.chip);
    Result result = ReadLockFuses(session, dialog);
    if (result) PrintFuses(dialog, session.chip, out);
    return result;
}

Result WriteFuses(Session& session, const std::string& text, std::FILE* err)
{
    std::optional<std::vector<unsigned char>> bytes = ParseFuseBytes(text);
    if (!bytes || bytes->size() != session.chip.lockFuseCount) {
        std::fprintf(err, "quillon-cli: write-fuses: the %s takes %d bytes (fuses low first, lock last), not \"%s\"\n",
                     session.chip.name.c_str(), session.chip.lockFuseCount, text.c_str());
        return Result::Failed(FailureKind::Input, "write-fuses: \"" + text + "\"");
    }
    for (std::size_t i = 0; i < bytes->size(); ++i) session.chip.lockFuse[i] = (*bytes)[i];
    // Through the dialog's boxes, as a user would set them: bits the chip does not name are
    // always written as 1, so say when that changes what was asked for.
    LockFusesDialog dialog = OpenLockFusesDialog(session.chip);
    Result result = WriteLockFuses(session, dialog);
    for (std::size_t i = 0; i < bytes->size(); ++i)
        if (session.chip.lockFuse[i] != (*bytes)[i])
            std::fprintf(err, "quillon-cli: write-fuses: %s 0x%s written as 0x%s (unnamed bits stay 1)\n",
                         dialog.group[i].caption.c_str(), ByteDigits((*bytes)[i]).c_str(),
                         ByteDigits(session.chip.lockFuse[i]).c_str());
    return result;
}

// The second step runs only after the first succeeded: a file that did not load completely is
// never written to the chip nor taken as reference, and a failed read saves no file.
template <class Next>
Result Then(Result first, Next&& next)
{
    return first ? next() : first;
}

}  // namespace

Result RunCommand(Session& session, const Command& command, const Confirm& confirm, std::FILE* out,
                  std::FILE* err, bool wholeMemory)
{
    const std::string& file = command.argument;
    switch (command.kind) {
    case CommandKind::ReadProgram:
        return Then(ReadProgram(session), [&] { return Save(session, MemoryKind::Program, file); });
    case CommandKind::ReadData:
        return Then(ReadData(session), [&] { return Save(session, MemoryKind::Data, file); });
    case CommandKind::WriteProgram:
        return Then(Load(session, MemoryKind::Program, file), [&] { return WriteProgram(session, confirm); });
    case CommandKind::WriteData:
        return Then(Load(session, MemoryKind::Data, file), [&] { return WriteData(session, confirm); });
    case CommandKind::VerifyProgram:
        return Then(LoadReference(session, MemoryKind::Program, file, wholeMemory),
                    [&] { return VerifyProgram(session); });
    case CommandKind::VerifyData:
        return Then(LoadReference(session, MemoryKind::Data, file, wholeMemory),
                    [&] { return VerifyData(session); });
    case CommandKind::Erase: return ChipErase(session, confirm);
    case CommandKind::ReadCalibration: return ReadCalibration(session);
    case CommandKind::ReadFuses: return ReadFuses(session, out);
    case CommandKind::WriteFuses: return WriteFuses(session, command.argument, err);
    }
    return Result::Failed(FailureKind::Input, "unknown command");
}

}  // namespace quillon::cli
