#include "cli/Commands.h"

#include "chips/Catalogue.h"
#include "cli/Options.h"
#include "core/FileIo.h"
#include "images/ElfFile.h"
#include "images/FileCommands.h"
#include "operations/FileFuses.h"
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
    return LoadMemoryFile(session, file, kind);
}

Result Save(Session& session, MemoryKind kind, const std::string& file)
{
    return SaveMemoryFileAs(session, file, LoadFormatFor(file), kind);
}

std::vector<SlotReport> Slots(const LockFusesDialog& dialog, const Chip& chip)
{
    std::vector<SlotReport> slots;
    for (std::size_t g = 0; g < dialog.group.size(); ++g) {
        const FuseGroup& group = dialog.group[g];
        if (!group.visible) continue;
        SlotReport slot{group.caption, chip.lockFuse[g], {}};
        for (int b = 7; b >= 0; --b) {
            const FuseBox& box = group.box[static_cast<std::size_t>(b)];
            if (box.visible && box.checked) slot.programmed.push_back(box.caption);
        }
        slots.push_back(std::move(slot));
    }
    return slots;
}

Result ReadFuses(Session& session, Output& output)
{
    LockFusesDialog dialog = OpenLockFusesDialog(session.chip);
    Result result = ReadLockFuses(session, dialog);
    if (result) output.Fuses(Slots(dialog, session.chip));
    return result;
}

Result WriteFuseBytes(Session& session, const std::string& text, const Confirm& confirm, Output& output)
{
    std::optional<std::vector<unsigned char>> bytes = ParseFuseBytes(text);
    if (!bytes || bytes->size() != session.chip.lockFuseCount) {
        output.Error("write-fuses: the " + session.chip.name + " takes " + std::to_string(session.chip.lockFuseCount) +
                     " bytes (fuses low first, lock last), not \"" + text + "\"");
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
            output.Error("write-fuses: " + dialog.group[i].caption + " 0x" + ByteDigits((*bytes)[i]) +
                         " written as 0x" + ByteDigits(session.chip.lockFuse[i]) + " (unnamed bits stay 1)");
    return result;
}

// The second step runs only after the first succeeded: a file that did not load completely is
// never written to the chip nor taken as reference, and a failed read saves no file.
template <class Next>
Result Then(Result first, Next&& next)
{
    return first ? next() : first;
}

// The fuse and lock bytes a compiled program carries, written only on this explicit request and
// with --yes. The chip's own bytes are read first, so a byte the file lacks (often the lock)
// is written back as it was.
Result WriteFileFuses(Session& session, const std::string& file, const Confirm& confirm, Output& output)
{
    std::string contents;
    if (FileStatus status = ReadWholeFile(file, contents); !status) {
        output.Error("write-fuses: " + status.message);
        return Result::Failed(FailureKind::File, status.message);
    }
    const ElfLoad load = ReadElf({reinterpret_cast<const std::uint8_t*>(contents.data()), contents.size()}, {}, {});
    if (!load.error.empty()) {
        output.Error("write-fuses: cannot load " + file + ": " + load.error);
        return Result::Failed(FailureKind::FileContent, "cannot load " + file + ": " + load.error);
    }
    if (!load.HasFuses()) {
        output.Error("write-fuses: " + file + " holds no fuse or lock bytes (no .fuse or .lock section)");
        return Result::Failed(FailureKind::FileContent, file + " holds no fuse or lock bytes");
    }
    const FileFuses bytes{load.fuses, load.lock};
    static constexpr Question kFuseQuestion{"Warning", "The chip's fuse and lock bytes will be written from the file. Are you sure?"};
    if (!Ask(confirm, kFuseQuestion)) return Result::Refused();

    LockFusesDialog dialog = OpenLockFusesDialog(session.chip);
    if (Result read = ReadLockFuses(session, dialog); !read) return read;
    if (std::string refused = OfferFileFuses(dialog, session.chip, bytes); !refused.empty()) {
        output.Error("write-fuses: " + file + ": " + refused + "; nothing was written");
        return Result::Failed(FailureKind::FileContent, file + ": " + refused);
    }
    session.bus.log.LogMessage(LogText, "Fuse and lock bytes from " + file + ": " + FileFusesText(bytes));
    return WriteLockFuses(session, dialog, confirm);
}

}  // namespace

Result RunCommand(Session& session, const Command& command, const Confirm& confirm, Output& output)
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
    case CommandKind::ReadFuses: return ReadFuses(session, output);
    case CommandKind::WriteFuses:
        return IsFuseFile(file) ? WriteFileFuses(session, file, confirm, output)
                                : WriteFuseBytes(session, file, confirm, output);
    }
    return Result::Failed(FailureKind::Input, "unknown command");
}

}  // namespace quillon::cli
