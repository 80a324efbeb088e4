#include "cli/Commands.h"

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

Result WriteFuses(Session& session, const std::string& text, const Confirm& confirm, std::FILE* err)
{
    std::optional<std::vector<unsigned char>> bytes = ParseFuseBytes(text);
    if (!bytes || bytes->size() != session.chip.lockFuseCount) {
        std::fprintf(err, "quillon-cli: write-fuses: the %s takes %d bytes (fuses low first, lock last), not \"%s\"\n",
                     session.chip.name.c_str(), session.chip.lockFuseCount, text.c_str());
        return Result::Failed(FailureKind::Input, "write-fuses: \"" + text + "\"");
    }
    if (!Ask(confirm, kFuseWriteQuestion)) return Result::Refused();
    // The dialog opens on what the record holds (read from the chip, or the factory bytes), so
    // the write is judged against that; the boxes then take the new bytes as a user would set
    // them: bits the chip does not name are always written as 1, so say when that changes what
    // was asked for.
    LockFusesDialog dialog = OpenLockFusesDialog(session.chip);
    for (std::size_t g = 0; g < bytes->size(); ++g)
        for (std::size_t b = 0; b < 8; ++b) {
            FuseBox& box = dialog.group[g].box[b];
            box.checked = box.visible && ((*bytes)[g] & (1u << b)) == 0;
        }
    Result result = WriteLockFuses(session, dialog, confirm);
    if (result.ending == Ending::Refused) return result;
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
                  std::FILE* err)
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
        return Then(Load(session, MemoryKind::Program, file), [&] { return VerifyProgram(session); });
    case CommandKind::VerifyData:
        return Then(Load(session, MemoryKind::Data, file), [&] { return VerifyData(session); });
    case CommandKind::Erase: return ChipErase(session, confirm);
    case CommandKind::ReadCalibration: return ReadCalibration(session);
    case CommandKind::ReadFuses: return ReadFuses(session, out);
    case CommandKind::WriteFuses: return WriteFuses(session, command.argument, confirm, err);
    }
    return Result::Failed(FailureKind::Input, "unknown command");
}

}  // namespace quillon::cli
