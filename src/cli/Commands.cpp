#include "cli/Commands.h"

#include "chips/Catalogue.h"
#include "cli/Options.h"
#include "core/Context.h"
#include "images/FileCommands.h"
#include "operations/CommandFrame.h"
#include "operations/LockFuses.h"
#include "operations/MemoryCommands.h"

namespace quillon::cli {

namespace {

// The file's own name decides its format, and the name is kept as given: a script that asks
// for out.eep gets out.eep.
// A file that did not load completely is never written to the chip nor taken as the reference:
// the chip would end up with part of a program. Data beyond the memory alone may be accepted.
bool Load(Context& ctx, MemoryKind kind, const std::string& file, bool force, std::FILE* err)
{
    // What the file does not cover is written and compared as erased, never as whatever an
    // earlier command left in the image.
    ResetImage(ctx, kind == MemoryKind::Program ? 1 : 2);
    const LoadResult result = LoadImageFile(ctx, file, kind);
    if (result.Complete()) return true;
    if (result.OnlyBeyondMemory() && force) {
        std::fprintf(err, "quillon-cli: %s: %s; going on (--force)\n", file.c_str(), result.message.c_str());
        return true;
    }
    if (result.fault != LoadFault::Unreadable && result.fault != LoadFault::Rejected)
        std::fprintf(err, "quillon-cli: %s: %s%s\n", file.c_str(), result.message.c_str(),
                     result.OnlyBeyondMemory() ? "; --force takes what fits" : "");
    return false;
}

bool Save(Context& ctx, MemoryKind kind, const std::string& file)
{
    return LoadFormatFor(file) == FileFormat::Binary ? SaveBinFile(ctx, file, kind)
                                                     : SaveHexFile(ctx, file, kind);
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

bool ReadFuses(Context& ctx, std::FILE* out)
{
    LockFusesDialog dialog = OpenLockFusesDialog(ctx.chip);
    if (!ReadLockFuses(ctx, dialog)) return false;
    PrintFuses(dialog, ctx.chip, out);
    return true;
}

bool WriteFuses(Context& ctx, const std::string& text, std::FILE* err)
{
    std::optional<std::vector<unsigned char>> bytes = ParseFuseBytes(text);
    if (!bytes || bytes->size() != ctx.chip.lockFuseCount) {
        std::fprintf(err, "quillon-cli: write-fuses: the %s takes %d bytes (fuses low first, lock last), not \"%s\"\n",
                     ctx.chip.name.c_str(), ctx.chip.lockFuseCount, text.c_str());
        return false;
    }
    for (std::size_t i = 0; i < bytes->size(); ++i) ctx.chip.lockFuse[i] = (*bytes)[i];
    // Through the dialog's boxes, as a user would set them: bits the chip does not name are
    // always written as 1, so say when that changes what was asked for.
    LockFusesDialog dialog = OpenLockFusesDialog(ctx.chip);
    bool ok = WriteLockFuses(ctx, dialog);
    for (std::size_t i = 0; i < bytes->size(); ++i)
        if (ctx.chip.lockFuse[i] != (*bytes)[i])
            std::fprintf(err, "quillon-cli: write-fuses: %s 0x%s written as 0x%s (unnamed bits stay 1)\n",
                         dialog.group[i].caption.c_str(), ByteDigits((*bytes)[i]).c_str(),
                         ByteDigits(ctx.chip.lockFuse[i]).c_str());
    return ok;
}

}  // namespace

bool RunCommand(Context& ctx, const Command& command, const Confirm& confirm, bool force, std::FILE* out,
                std::FILE* err)
{
    const std::string& file = command.argument;
    const auto Load = [&](Context& c, MemoryKind kind, const std::string& name) {
        return cli::Load(c, kind, name, force, err);
    };
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
    case CommandKind::ReadFuses: return ReadFuses(ctx, out);
    case CommandKind::WriteFuses: return WriteFuses(ctx, command.argument, err);
    }
    return false;
}

}  // namespace quillon::cli
