// The file commands of the S-record and ELF formats: the same log lines as the Intel HEX ones,
// and a file that is refused loads nothing at all.
#include <span>

#include "core/FileIo.h"
#include "images/ElfFile.h"
#include "images/FileCommands.h"
#include "images/ProgressGuard.h"
#include "images/SRecord.h"
#include "images/Views.h"

namespace quillon {

namespace {

int LoadMessage(MemoryKind kind)
{
    return kind == MemoryKind::Program ? LogLoadProgram : LogLoadData;
}

std::string Byte(std::uint8_t value)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    return {kDigits[value >> 4], kDigits[value & 0x0F]};
}

std::span<const std::uint8_t> Bytes(const std::string& text)
{
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// Reads the whole file under the progress window; logs why when it cannot.
bool ReadFile(Context& ctx, const std::string& fileName, std::string& contents)
{
    if (FileStatus status = ReadWholeFile(fileName, contents); !status) {
        ctx.log.LogMessage(LogText, status.message);
        return false;
    }
    return true;
}

void LogRefused(Context& ctx, const std::string& fileName, const std::string& why)
{
    ctx.log.LogMessage(LogText, "Cannot load " + fileName + ": " + why + "; nothing was loaded");
}

std::string FuseText(const FileFuses& fuses)
{
    std::string text = "Fuse and lock bytes in the file, not written until asked:";
    if (!fuses.fuses.empty()) {
        text += " fuses (low first)";
        for (std::uint8_t b : fuses.fuses) text += " " + Byte(b);
    }
    if (fuses.lock) text += (fuses.fuses.empty() ? " lock " : ", lock ") + Byte(*fuses.lock);
    return text;
}

}  // namespace

FileOutcome LoadSRecordFile(Context& ctx, const std::string& fileName, MemoryKind kind)
{
    SRecordLoad load;
    {
        ProgressGuard progress(ctx.progress);
        ctx.log.LogMessage(LoadMessage(kind), fileName);
        std::string text;
        if (!ReadFile(ctx, fileName, text)) return FileOutcome::Failed;
        load = ReadSRecord(text, ChipMemory(ctx.chip, kind));
        if (!load.error.empty()) {
            LogRefused(ctx, fileName, load.error);
            return FileOutcome::Failed;
        }
        progress.SetPosition(100);
        ctx.log.LogMessage(LogComplete, "");
    }
    FillActiveView(ctx, kind);
    LogLeftOut(ctx, load.memory.droppedBytes, load.memory.firstDropped);
    return FileOutcome::Done;
}

bool SaveSRecordFile(Context& ctx, const std::string& fileName, MemoryKind kind)
{
    ctx.log.LogMessage(kind == MemoryKind::Program ? LogSaveProgram : LogSaveData, fileName);
    StoreActiveView(ctx, kind);
    {
        ProgressGuard progress(ctx.progress);
        const std::string text = WriteSRecord(ChipMemory(ctx.chip, kind), SRecordWidthFor(fileName));
        progress.SetPosition(50);
        if (FileStatus status = WriteFileSafely(fileName, text); !status) {
            ctx.log.LogMessage(LogText, status.message);
            return false;
        }
        progress.SetPosition(100);
    }
    ctx.log.LogMessage(LogComplete, "");
    return true;
}

FileOutcome LoadElfFile(Context& ctx, const std::string& fileName, MemoryKind kind,
                        std::optional<FileFuses>* fuses)
{
    const bool program = kind == MemoryKind::Program;
    ElfLoad load;
    {
        ProgressGuard progress(ctx.progress);
        ctx.log.LogMessage(LoadMessage(kind), fileName);
        std::string contents;
        if (!ReadFile(ctx, fileName, contents)) return FileOutcome::Failed;
        // Loaded as the program, the file fills both memories: its EEPROM section belongs
        // with the code that reads it. Loaded as data, only the EEPROM section is taken.
        load = ReadElf(Bytes(contents), program ? ChipMemory(ctx.chip, MemoryKind::Program) : std::span<std::uint8_t>{},
                       ChipMemory(ctx.chip, MemoryKind::Data));
        if (!load.error.empty()) {
            LogRefused(ctx, fileName, load.error);
            return FileOutcome::Failed;
        }
        if (!program && !load.HasEeprom()) {
            LogRefused(ctx, fileName, "the file has no EEPROM section (.eeprom)");
            return FileOutcome::Failed;
        }
        progress.SetPosition(100);
        ctx.log.LogMessage(LogComplete, "");
    }
    FillActiveView(ctx, kind);
    if (program) {
        LogLeftOut(ctx, load.flash.droppedBytes, load.flash.firstDropped);
        if (load.HasEeprom()) {
            FillActiveView(ctx, MemoryKind::Data);
            ctx.log.LogMessage(LogText, "EEPROM data from the file: " + std::to_string(load.eeprom.loadedBytes) +
                                            (load.eeprom.loadedBytes == 1 ? " byte" : " bytes"));
            LogLeftOut(ctx, load.eeprom.droppedBytes, load.eeprom.firstDropped, "the EEPROM");
        }
        if (load.HasFuses()) {
            FileFuses found{load.fuses, load.lock};
            ctx.log.LogMessage(LogText, FuseText(found));
            if (fuses) *fuses = std::move(found);
        }
    } else {
        LogLeftOut(ctx, load.eeprom.droppedBytes, load.eeprom.firstDropped);
    }
    return FileOutcome::Done;
}

}  // namespace quillon
