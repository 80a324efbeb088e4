// The file commands of the S-record and ELF formats: the same log lines as the Intel HEX ones,
// and a file that is refused loads nothing at all.
#include <span>

#include "core/FileIo.h"
#include "images/ElfFile.h"
#include "images/FileCommands.h"
#include "images/HexText.h"
#include "images/ProgressGuard.h"
#include "images/SRecord.h"

namespace quillon {

namespace {

int LoadMessage(MemoryKind kind)
{
    return kind == MemoryKind::Program ? LogLoadProgram : LogLoadData;
}

std::span<const std::uint8_t> Bytes(const std::string& text)
{
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// Reads the whole file under the progress window; logs why when it cannot.
// A refused file loads nothing: the log says why, and so does the result.
Result Refused(const Workspace& ws, const std::string& fileName, const std::string& why)
{
    const std::string words = "Cannot load " + fileName + ": " + why + "; nothing was loaded";
    ws.log.LogMessage(LogText, words);
    return Result::Failed(FailureKind::FileContent, words);
}

std::string FuseText(const FileFuses& fuses)
{
    std::string text = "Fuse and lock bytes in the file, not written until asked:";
    if (!fuses.fuses.empty()) {
        text += " fuses (low first)";
        for (std::uint8_t b : fuses.fuses) text += " " + HexDigits(b, 2);
    }
    if (fuses.lock) text += (fuses.fuses.empty() ? " lock " : ", lock ") + HexDigits(*fuses.lock, 2);
    return text;
}

}  // namespace

Result LoadSRecordFile(const Workspace& ws, const std::string& fileName, MemoryKind kind, FileLoad* loaded)
{
    SRecordLoad load;
    {
        ProgressGuard progress(ws.progress);
        ws.log.LogMessage(LoadMessage(kind), fileName);
        std::string text;
        if (Failure status = ReadWholeFile(fileName, text); status.Failed()) return FileFailure(ws, status);
        load = ReadSRecord(text, ChipMemory(ws.chip, kind));
        if (!load.error.empty()) {
            return Refused(ws, fileName, load.error);
        }
        progress.SetPosition(100);
        // A load that did not take the whole file never ends with "Operation complete".
        if (load.textAfterEnd)
            ws.log.LogMessage(LogText, kAfterEndText);
        else if (load.memory.droppedBytes == 0)
            ws.log.LogMessage(LogComplete, "");
    }
    NoteLoaded(loaded, kind);
    const std::string beyond = LogLeftOut(ws, load.memory.droppedBytes, load.memory.firstDropped);
    if (load.textAfterEnd) return Result::Failed(FailureKind::FilePart, std::string(kAfterEndText));
    if (!beyond.empty()) return Result::Failed(FailureKind::FileBeyond, beyond);
    return Result::Ok();
}

Result SaveSRecordFile(const Workspace& ws, const std::string& fileName, MemoryKind kind)
{
    ws.log.LogMessage(kind == MemoryKind::Program ? LogSaveProgram : LogSaveData, fileName);
    {
        ProgressGuard progress(ws.progress);
        const std::string text = WriteSRecord(ChipMemory(ws.chip, kind), SRecordWidthFor(fileName));
        progress.SetPosition(50);
        if (Failure status = WriteFileSafely(fileName, text); status.Failed()) return FileFailure(ws, status);
        progress.SetPosition(100);
    }
    ws.log.LogMessage(LogComplete, "");
    return Result::Ok();
}

Result LoadElfFile(const Workspace& ws, const std::string& fileName, MemoryKind kind, FileLoad* loaded)
{
    const bool program = kind == MemoryKind::Program;
    ElfLoad load;
    {
        ProgressGuard progress(ws.progress);
        ws.log.LogMessage(LoadMessage(kind), fileName);
        std::string contents;
        if (Failure status = ReadWholeFile(fileName, contents); status.Failed()) return FileFailure(ws, status);
        // Loaded as the program, the file fills both memories: its EEPROM section belongs
        // with the code that reads it. Loaded as data, only the EEPROM section is taken.
        load = ReadElf(Bytes(contents), program ? ChipMemory(ws.chip, MemoryKind::Program) : std::span<std::uint8_t>{},
                       ChipMemory(ws.chip, MemoryKind::Data));
        if (!load.error.empty()) {
            return Refused(ws, fileName, load.error);
        }
        if (!program && !load.HasEeprom()) {
            return Refused(ws, fileName, "the file has no EEPROM section (.eeprom)");
        }
        progress.SetPosition(100);
        if ((program ? load.flash : load.eeprom).droppedBytes == 0) ws.log.LogMessage(LogComplete, "");
    }
    NoteLoaded(loaded, kind);
    // Only the memory the file was loaded for decides: the EEPROM section that comes along with
    // a program is shown and said, but the program itself loaded whole.
    std::string beyond;
    if (program) {
        beyond = LogLeftOut(ws, load.flash.droppedBytes, load.flash.firstDropped);
        if (load.HasEeprom()) {
            NoteLoaded(loaded, MemoryKind::Data);
            ws.log.LogMessage(LogText, "EEPROM data from the file: " + std::to_string(load.eeprom.loadedBytes) +
                                            (load.eeprom.loadedBytes == 1 ? " byte" : " bytes"));
            LogLeftOut(ws, load.eeprom.droppedBytes, load.eeprom.firstDropped, "the EEPROM");
        }
        if (load.HasFuses()) {
            FileFuses found{load.fuses, load.lock};
            ws.log.LogMessage(LogText, FuseText(found));
            if (loaded) loaded->fuses = std::move(found);
        }
    } else {
        beyond = LogLeftOut(ws, load.eeprom.droppedBytes, load.eeprom.firstDropped);
    }
    if (!beyond.empty()) return Result::Failed(FailureKind::FileBeyond, beyond);
    return Result::Ok();
}

}  // namespace quillon
