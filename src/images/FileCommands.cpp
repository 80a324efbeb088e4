#include "images/FileCommands.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "core/FileIo.h"
#include "images/IntelHex.h"
#include "images/ProgressGuard.h"
#include "images/Views.h"

namespace quillon {

namespace {

constexpr std::uint32_t kProgressBlock = 1024;

std::string LastThreeUpper(const std::string& name)
{
    std::string tail = name.substr(name.size() < 3 ? 0 : name.size() - 3);
    for (char& c : tail) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return tail;
}

int LoadMessage(MemoryKind kind)
{
    return kind == MemoryKind::Program ? LogLoadProgram : LogLoadData;
}

int SaveMessage(MemoryKind kind)
{
    return kind == MemoryKind::Program ? LogSaveProgram : LogSaveData;
}

std::string HexAddress(std::uint64_t address)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string digits;
    do {
        digits.insert(digits.begin(), kDigits[address & 0x0F]);
        address >>= 4;
    } while (address != 0);
    if (digits.size() < 8) digits.insert(0, 8 - digits.size(), '0');
    return "0x" + digits;
}

// Data that had no place in the chip's memory is left out, and the load says so.
std::string LeftOutText(std::uint64_t count, std::uint64_t firstAddress)
{
    return "Left out " + std::to_string(count) + (count == 1 ? " byte" : " bytes") +
           " beyond the end of the memory, the first at address " + HexAddress(firstAddress);
}

constexpr std::string_view kEmptyText = "The file is empty: nothing was loaded";
constexpr std::string_view kNoEndText = "The file ends without an end record: it may have been cut short";
constexpr std::string_view kAfterEndText = "The file goes on after its end record: the rest was not loaded";

bool NeedChip(const Workspace& ws)
{
    if (ws.chip.signature != 0) return true;
    ws.log.LogMessage(LogNoChip, "");
    return false;
}

Result NoChip()
{
    return Result::Failed(FailureKind::NoChip, std::string(LogPrefix(LogNoChip)));
}

// The file could not be opened, read or written; the log has its name and the system's reason.
Result FileFailure(const Workspace& ws, const FileStatus& status)
{
    ws.log.LogMessage(LogText, status.message);
    return Result::Failed(FailureKind::File, status.message);
}

ProgressStep StepOf(ProgressGuard& progress)
{
    return [&progress](std::uint32_t done, std::uint32_t total) { progress.SetFraction(done, total); };
}

Result LoadHex(const Workspace& ws, const std::string& fileName, MemoryKind kind)
{
    HexReadResult result;
    std::string_view part;  // what keeps the file from having loaded completely
    {
        ProgressGuard progress(ws.progress);
        ws.log.LogMessage(LoadMessage(kind), fileName);
        std::string text;
        // Nothing was stored when it cannot be read, so the view stays as it is.
        if (FileStatus status = ReadWholeFile(fileName, text); !status) return FileFailure(ws, status);
        result = ReadIntelHex(text, ChipMemory(ws.chip, kind), StepOf(progress));
        if (result.ending == HexReadResult::Ending::EndOfText) part = result.records == 0 ? kEmptyText : kNoEndText;
        else if (result.ending == HexReadResult::Ending::EndRecord && result.textAfterEnd) part = kAfterEndText;
        if (result.ending == HexReadResult::Ending::Rejected)
            ws.log.LogMessage(LogWrongFile, result.reason);
        else if (!part.empty())
            ws.log.LogMessage(LogText, part);
        else if (result.droppedBytes == 0)
            ws.log.LogMessage(LogComplete, "");
    }
    // Also after a rejected record or a partial load: what was stored is shown.
    FillActiveView(ws, kind);
    std::string beyond;
    if (result.droppedBytes > 0) {
        beyond = LeftOutText(result.droppedBytes, result.firstDropped);
        ws.log.LogMessage(LogText, beyond);
    }
    if (result.ending == HexReadResult::Ending::Rejected)
        return Result::Failed(FailureKind::FileContent, std::string(LogPrefix(LogWrongFile)) + result.reason);
    // Cut short or going on after its end is the graver fault: --force may pass only data
    // beyond the memory.
    if (!part.empty()) return Result::Failed(FailureKind::FilePart, std::string(part));
    if (!beyond.empty()) return Result::Failed(FailureKind::FileBeyond, beyond);
    return Result::Ok();
}

}  // namespace

FileFormat LoadFormatFor(const std::string& fileName)
{
    return LastThreeUpper(fileName) == "BIN" ? FileFormat::Binary : FileFormat::IntelHex;
}

SaveTarget SaveTargetFor(const std::string& fileName, int filterIndex)
{
    const std::string tail = LastThreeUpper(fileName);
    auto withExtension = [&](const char* upper, const char* extension) {
        return tail == upper ? fileName : fileName + extension;
    };
    switch (filterIndex) {
    case FilterHex:
        return {withExtension("HEX", ".hex"), FileFormat::IntelHex};
    case FilterEep:
        return {withExtension("EEP", ".eep"), FileFormat::IntelHex};
    default:
        return {withExtension("BIN", ".bin"), FileFormat::Binary};
    }
}

Result LoadMemoryFile(const Workspace& ws, const std::string& fileName, MemoryKind kind)
{
    if (!NeedChip(ws)) return NoChip();
    if (LoadFormatFor(fileName) == FileFormat::Binary) return LoadBinFile(ws, fileName, kind);
    return LoadHex(ws, fileName, kind);
}

Result SaveMemoryFile(const Workspace& ws, const std::string& fileName, int filterIndex, MemoryKind kind)
{
    // Without a chip there are no sizes to save: an empty file reported as complete would only
    // mislead, so nothing is written.
    if (!NeedChip(ws)) return NoChip();
    SaveTarget target = SaveTargetFor(fileName, filterIndex);
    if (target.format == FileFormat::Binary) return SaveBinFile(ws, target.fileName, kind);
    return SaveHexFile(ws, target.fileName, kind);
}

Result LoadProgramFile(const Workspace& ws, const std::string& fileName)
{
    return LoadMemoryFile(ws, fileName, MemoryKind::Program);
}

Result LoadDataFile(const Workspace& ws, const std::string& fileName)
{
    return LoadMemoryFile(ws, fileName, MemoryKind::Data);
}

Result SaveProgramFile(const Workspace& ws, const std::string& fileName, int filterIndex)
{
    return SaveMemoryFile(ws, fileName, filterIndex, MemoryKind::Program);
}

Result SaveDataFile(const Workspace& ws, const std::string& fileName, int filterIndex)
{
    return SaveMemoryFile(ws, fileName, filterIndex, MemoryKind::Data);
}

Result LoadHexFile(const Workspace& ws, const std::string& fileName, MemoryKind kind)
{
    return LoadHex(ws, fileName, kind);
}

Result SaveHexFile(const Workspace& ws, const std::string& fileName, MemoryKind kind)
{
    ws.log.LogMessage(SaveMessage(kind), fileName);
    StoreActiveView(ws, kind);
    {
        ProgressGuard progress(ws.progress);
        const std::string text = WriteIntelHex(ChipMemory(ws.chip, kind),
                                               kind == MemoryKind::Program, StepOf(progress));
        if (FileStatus status = WriteFileSafely(fileName, text); !status) return FileFailure(ws, status);
    }
    ws.log.LogMessage(LogComplete, "");
    return Result::Ok();
}

Result LoadBinFile(const Workspace& ws, const std::string& fileName, MemoryKind kind)
{
    std::span<std::uint8_t> memory = ChipMemory(ws.chip, kind);
    const auto size = static_cast<std::uint32_t>(memory.size());
    std::uint64_t fileSize = 0;
    ws.log.LogMessage(LoadMessage(kind), fileName);
    {
        ProgressGuard progress(ws.progress);
        std::string bytes;
        if (FileStatus status = ReadFileHead(fileName, memory.size(), bytes, fileSize); !status)
            return FileFailure(ws, status);
        // A shorter file leaves the rest of the image as it was.
        for (std::size_t k = 0; k < memory.size(); k += kProgressBlock) {
            if (k < bytes.size())
                std::memcpy(memory.data() + k, bytes.data() + k,
                            std::min<std::size_t>(kProgressBlock, bytes.size() - k));
            progress.SetFraction(static_cast<std::uint32_t>(k + 1), size);
        }
    }
    FillActiveView(ws, kind);
    // A load that did not take the whole file ends with the line that says so, never with
    // "Operation complete".
    if (fileSize == 0) {
        ws.log.LogMessage(LogText, kEmptyText);
        return Result::Failed(FailureKind::FilePart, std::string(kEmptyText));
    }
    if (fileSize > size) {
        const std::string beyond = LeftOutText(fileSize - size, size);
        ws.log.LogMessage(LogText, beyond);
        return Result::Failed(FailureKind::FileBeyond, beyond);
    }
    ws.log.LogMessage(LogComplete, "");
    return Result::Ok();
}

Result SaveBinFile(const Workspace& ws, const std::string& fileName, MemoryKind kind)
{
    ws.log.LogMessage(SaveMessage(kind), fileName);
    StoreActiveView(ws, kind);
    {
        ProgressGuard progress(ws.progress);
        std::span<const std::uint8_t> memory = ChipMemory(ws.chip, kind);
        const auto size = static_cast<std::uint32_t>(memory.size());
        std::string bytes(memory.size(), '\0');
        for (std::size_t k = 0; k < memory.size(); k += kProgressBlock) {
            const std::size_t n = std::min<std::size_t>(kProgressBlock, memory.size() - k);
            std::memcpy(bytes.data() + k, memory.data() + k, n);
            progress.SetFraction(static_cast<std::uint32_t>(k + 1), size);
        }
        if (FileStatus status = WriteFileSafely(fileName, bytes); !status) return FileFailure(ws, status);
    }
    ws.log.LogMessage(LogComplete, "");
    return Result::Ok();
}

}  // namespace quillon
