#include "cli/Commands.h"

#include "chips/Catalogue.h"
#include "cli/Options.h"
#include "core/Context.h"
#include "core/FileIo.h"
#include "images/ElfFile.h"
#include "images/FileCommands.h"
#include "operations/FileFuses.h"
#include "operations/CommandFrame.h"
#include "operations/LockFuses.h"
#include "operations/MemoryCommands.h"

namespace quillon::cli {

namespace {

// The file's own name decides its format, and the name is kept as given: a script that asks
// for out.eep gets out.eep.
bool Load(Context& ctx, MemoryKind kind, const std::string& file)
{
    // What the file does not cover is written and compared as erased, never as whatever an
    // earlier command left in the image.
    ResetImage(ctx, kind == MemoryKind::Program ? 1 : 2);
    return LoadMemoryFile(ctx, file, kind) == FileOutcome::Done;
}

bool Save(Context& ctx, MemoryKind kind, const std::string& file)
{
    return SaveMemoryFileAs(ctx, file, LoadFormatFor(file), kind) == FileOutcome::Done;
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

bool ReadFuses(Context& ctx, Output& output)
{
    LockFusesDialog dialog = OpenLockFusesDialog(ctx.chip);
    if (!ReadLockFuses(ctx, dialog)) return false;
    output.Fuses(Slots(dialog, ctx.chip));
    return true;
}

bool WriteFuseBytes(Context& ctx, const std::string& text, Output& output)
{
    std::optional<std::vector<unsigned char>> bytes = ParseFuseBytes(text);
    if (!bytes || bytes->size() != ctx.chip.lockFuseCount) {
        output.Error("write-fuses: the " + ctx.chip.name + " takes " + std::to_string(ctx.chip.lockFuseCount) +
                     " bytes (fuses low first, lock last), not \"" + text + "\"");
        return false;
    }
    for (std::size_t i = 0; i < bytes->size(); ++i) ctx.chip.lockFuse[i] = (*bytes)[i];
    // Through the dialog's boxes, as a user would set them: bits the chip does not name are
    // always written as 1, so say when that changes what was asked for.
    LockFusesDialog dialog = OpenLockFusesDialog(ctx.chip);
    bool ok = WriteLockFuses(ctx, dialog);
    for (std::size_t i = 0; i < bytes->size(); ++i)
        if (ctx.chip.lockFuse[i] != (*bytes)[i])
            output.Error("write-fuses: " + dialog.group[i].caption + " 0x" + ByteDigits((*bytes)[i]) +
                         " written as 0x" + ByteDigits(ctx.chip.lockFuse[i]) + " (unnamed bits stay 1)");
    return ok;
}

// The fuse and lock bytes a compiled program carries, written only on this explicit request and
// with --yes. The chip's own bytes are read first, so a byte the file lacks (often the lock)
// is written back as it was.
bool WriteFileFuses(Context& ctx, const std::string& file, const Confirm& confirm, Output& output)
{
    std::string contents;
    if (FileStatus status = ReadWholeFile(file, contents); !status) {
        output.Error("write-fuses: " + status.message);
        return false;
    }
    const ElfLoad load = ReadElf({reinterpret_cast<const std::uint8_t*>(contents.data()), contents.size()}, {}, {});
    if (!load.error.empty()) {
        output.Error("write-fuses: cannot load " + file + ": " + load.error);
        return false;
    }
    if (!load.HasFuses()) {
        output.Error("write-fuses: " + file + " holds no fuse or lock bytes (no .fuse or .lock section)");
        return false;
    }
    const FileFuses bytes{load.fuses, load.lock};
    static constexpr Question kFuseQuestion{"Warning", "The chip's fuse and lock bytes will be written from the file. Are you sure?"};
    if (!Ask(confirm, kFuseQuestion)) return false;

    LockFusesDialog dialog = OpenLockFusesDialog(ctx.chip);
    if (!ReadLockFuses(ctx, dialog)) return false;
    if (std::string refused = OfferFileFuses(dialog, ctx.chip, bytes); !refused.empty()) {
        output.Error("write-fuses: " + file + ": " + refused + "; nothing was written");
        return false;
    }
    ctx.log.LogMessage(LogText, "Fuse and lock bytes from " + file + ": " + FileFusesText(bytes));
    return WriteLockFuses(ctx, dialog);
}

}  // namespace

bool RunCommand(Context& ctx, const Command& command, const Confirm& confirm, Output& output)
{
    const std::string& file = command.argument;
    switch (command.kind) {
    case CommandKind::ReadProgram: return ReadProgram(ctx) && Save(ctx, MemoryKind::Program, file);
    case CommandKind::ReadData: return ReadData(ctx) && Save(ctx, MemoryKind::Data, file);
    // A file that did not load completely is never written to the chip nor taken as reference.
    case CommandKind::WriteProgram:
        return Load(ctx, MemoryKind::Program, file) && WriteProgram(ctx, confirm);
    case CommandKind::WriteData: return Load(ctx, MemoryKind::Data, file) && WriteData(ctx, confirm);
    case CommandKind::VerifyProgram: return Load(ctx, MemoryKind::Program, file) && VerifyProgram(ctx);
    case CommandKind::VerifyData: return Load(ctx, MemoryKind::Data, file) && VerifyData(ctx);
    case CommandKind::Erase: return ChipErase(ctx, confirm);
    case CommandKind::ReadCalibration: return ReadCalibration(ctx);
    case CommandKind::ReadFuses: return ReadFuses(ctx, output);
    case CommandKind::WriteFuses:
        return IsFuseFile(file) ? WriteFileFuses(ctx, file, confirm, output) : WriteFuseBytes(ctx, file, output);
    }
    return false;
}

}  // namespace quillon::cli
