#include "images/FileCommands.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <optional>

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

bool NeedChip(Context& ctx)
{
    if (ctx.chip.signature != 0) return true;
    ctx.log.LogMessage(LogNoChip, "");
    return false;
}

FileOutcome Outcome(bool done)
{
    return done ? FileOutcome::Done : FileOutcome::Failed;
}

ProgressStep StepOf(ProgressGuard& progress)
{
    return [&progress](std::uint32_t done, std::uint32_t total) { progress.SetFraction(done, total); };
}

FileOutcome LoadHex(Context& ctx, const std::string& fileName, MemoryKind kind)
{
    HexReadResult result;
    {
        ProgressGuard progress(ctx.progress);
        ctx.log.LogMessage(LoadMessage(kind), fileName);
        std::string text;
        if (FileStatus status = ReadWholeFile(fileName, text); !status) {
            // Nothing was stored, so the view stays as it is.
            ctx.log.LogMessage(LogText, status.message);
            return FileOutcome::Failed;
        }
        result = ReadIntelHex(text, ChipMemory(ctx.chip, kind), StepOf(progress));
        if (result.ending == HexReadResult::Ending::EndRecord)
            ctx.log.LogMessage(LogComplete, "");
        else if (result.ending == HexReadResult::Ending::Rejected)
            ctx.log.LogMessage(LogWrongFile, result.reason);
    }
    // Also after a rejected record: what was stored before it is shown.
    FillActiveView(ctx, kind);
    LogLeftOut(ctx, result.droppedBytes, result.firstDropped);
    return result.ending == HexReadResult::Ending::Rejected ? FileOutcome::Stopped : FileOutcome::Done;
}

std::string Lower(std::string text)
{
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The format a name's own extension names, when it names one.
std::optional<FileFormat> ExtensionFormat(const std::string& fileName)
{
    const std::size_t dot = fileName.find_last_of("./");
    if (dot == std::string::npos || fileName[dot] != '.') return std::nullopt;
    const std::string extension = Lower(fileName.substr(dot + 1));
    if (extension == "hex" || extension == "eep") return FileFormat::IntelHex;
    if (extension == "bin") return FileFormat::Binary;
    if (extension == "elf") return FileFormat::Elf;
    if (extension == "srec" || extension == "s19" || extension == "s28" || extension == "s37" ||
        extension == "mot")
        return FileFormat::SRecord;
    return std::nullopt;
}

}  // namespace

void LogLeftOut(Context& ctx, std::uint64_t count, std::uint64_t firstAddress, const std::string& memory)
{
    // Data that had no place in the chip's memory is left out, but the user is told so.
    if (count == 0) return;
    ctx.log.LogMessage(LogText, "Left out " + std::to_string(count) + (count == 1 ? " byte" : " bytes") +
                                    " beyond the end of " + memory + ", the first at address " +
                                    HexAddress(firstAddress));
}

FileFormat LoadFormatFor(const std::string& fileName)
{
    if (std::optional<FileFormat> format = ExtensionFormat(fileName)) return *format;
    return LastThreeUpper(fileName) == "BIN" ? FileFormat::Binary : FileFormat::IntelHex;
}

FileFormat LoadFormatFor(const std::string& fileName, int filterIndex)
{
    if (std::optional<FileFormat> format = ExtensionFormat(fileName)) return *format;
    switch (filterIndex) {
    case FilterHex: case FilterEep: return FileFormat::IntelHex;
    case FilterBin: return FileFormat::Binary;
    case FilterSRecord: return FileFormat::SRecord;
    case FilterElf: return FileFormat::Elf;
    default: return LoadFormatFor(fileName);
    }
}

SaveTarget SaveTargetFor(const std::string& fileName, int filterIndex)
{
    if (std::optional<FileFormat> format = ExtensionFormat(fileName); format && *format != FileFormat::Elf)
        return {fileName, *format};
    switch (filterIndex) {
    case FilterHex: return {fileName + ".hex", FileFormat::IntelHex};
    case FilterEep: return {fileName + ".eep", FileFormat::IntelHex};
    case FilterSRecord: return {fileName + ".srec", FileFormat::SRecord};
    default: return {fileName + ".bin", FileFormat::Binary};
    }
}

FileOutcome LoadMemoryFile(Context& ctx, const std::string& fileName, MemoryKind kind,
                           std::optional<FileFuses>* fuses)
{
    return LoadMemoryFileAs(ctx, fileName, LoadFormatFor(fileName), kind, fuses);
}

FileOutcome LoadMemoryFileAs(Context& ctx, const std::string& fileName, FileFormat format, MemoryKind kind,
                             std::optional<FileFuses>* fuses)
{
    if (!NeedChip(ctx)) return FileOutcome::NoChip;
    switch (format) {
    case FileFormat::Binary: return Outcome(LoadBinFile(ctx, fileName, kind));
    case FileFormat::SRecord: return LoadSRecordFile(ctx, fileName, kind);
    case FileFormat::Elf: return LoadElfFile(ctx, fileName, kind, fuses);
    case FileFormat::IntelHex: break;
    }
    return LoadHex(ctx, fileName, kind);
}

FileOutcome SaveMemoryFile(Context& ctx, const std::string& fileName, int filterIndex, MemoryKind kind)
{
    // Without a chip there are no sizes to save: an empty file reported as complete would only
    // mislead, so nothing is written.
    if (!NeedChip(ctx)) return FileOutcome::NoChip;
    SaveTarget target = SaveTargetFor(fileName, filterIndex);
    return SaveMemoryFileAs(ctx, target.fileName, target.format, kind);
}

FileOutcome SaveMemoryFileAs(Context& ctx, const std::string& fileName, FileFormat format, MemoryKind kind)
{
    if (!NeedChip(ctx)) return FileOutcome::NoChip;
    switch (format) {
    case FileFormat::Binary: return Outcome(SaveBinFile(ctx, fileName, kind));
    case FileFormat::SRecord: return Outcome(SaveSRecordFile(ctx, fileName, kind));
    case FileFormat::Elf:
        ctx.log.LogMessage(SaveMessage(kind), fileName);
        ctx.log.LogMessage(LogText, "Cannot save " + fileName +
                                        ": ELF files are made by the compiler; save as Intel HEX, S-record or raw binary");
        return FileOutcome::Failed;
    case FileFormat::IntelHex: break;
    }
    return Outcome(SaveHexFile(ctx, fileName, kind));
}

bool LoadProgramFile(Context& ctx, const std::string& fileName)
{
    return LoadMemoryFile(ctx, fileName, MemoryKind::Program) == FileOutcome::Done;
}

bool LoadDataFile(Context& ctx, const std::string& fileName)
{
    return LoadMemoryFile(ctx, fileName, MemoryKind::Data) == FileOutcome::Done;
}

bool SaveProgramFile(Context& ctx, const std::string& fileName, int filterIndex)
{
    return SaveMemoryFile(ctx, fileName, filterIndex, MemoryKind::Program) == FileOutcome::Done;
}

bool SaveDataFile(Context& ctx, const std::string& fileName, int filterIndex)
{
    return SaveMemoryFile(ctx, fileName, filterIndex, MemoryKind::Data) == FileOutcome::Done;
}

bool LoadHexFile(Context& ctx, const std::string& fileName, MemoryKind kind)
{
    return LoadHex(ctx, fileName, kind) == FileOutcome::Done;
}

bool SaveHexFile(Context& ctx, const std::string& fileName, MemoryKind kind)
{
    ctx.log.LogMessage(SaveMessage(kind), fileName);
    StoreActiveView(ctx, kind);
    {
        ProgressGuard progress(ctx.progress);
        const std::string text = WriteIntelHex(ChipMemory(ctx.chip, kind),
                                               kind == MemoryKind::Program, StepOf(progress));
        if (FileStatus status = WriteFileSafely(fileName, text); !status) {
            ctx.log.LogMessage(LogText, status.message);
            return false;
        }
    }
    ctx.log.LogMessage(LogComplete, "");
    return true;
}

bool LoadBinFile(Context& ctx, const std::string& fileName, MemoryKind kind)
{
    std::span<std::uint8_t> memory = ChipMemory(ctx.chip, kind);
    const auto size = static_cast<std::uint32_t>(memory.size());
    std::uint64_t fileSize = 0;
    ctx.log.LogMessage(LoadMessage(kind), fileName);
    {
        ProgressGuard progress(ctx.progress);
        std::string bytes;
        if (FileStatus status = ReadFileHead(fileName, memory.size(), bytes, fileSize); !status) {
            ctx.log.LogMessage(LogText, status.message);
            return false;
        }
        // A shorter file leaves the rest of the image as it was.
        for (std::size_t k = 0; k < memory.size(); k += kProgressBlock) {
            if (k < bytes.size())
                std::memcpy(memory.data() + k, bytes.data() + k,
                            std::min<std::size_t>(kProgressBlock, bytes.size() - k));
            progress.SetFraction(static_cast<std::uint32_t>(k + 1), size);
        }
    }
    FillActiveView(ctx, kind);
    ctx.log.LogMessage(LogComplete, "");
    if (fileSize > size) LogLeftOut(ctx, fileSize - size, size);
    return true;
}

bool SaveBinFile(Context& ctx, const std::string& fileName, MemoryKind kind)
{
    ctx.log.LogMessage(SaveMessage(kind), fileName);
    StoreActiveView(ctx, kind);
    {
        ProgressGuard progress(ctx.progress);
        std::span<const std::uint8_t> memory = ChipMemory(ctx.chip, kind);
        const auto size = static_cast<std::uint32_t>(memory.size());
        std::string bytes(memory.size(), '\0');
        for (std::size_t k = 0; k < memory.size(); k += kProgressBlock) {
            const std::size_t n = std::min<std::size_t>(kProgressBlock, memory.size() - k);
            std::memcpy(bytes.data() + k, memory.data() + k, n);
            progress.SetFraction(static_cast<std::uint32_t>(k + 1), size);
        }
        if (FileStatus status = WriteFileSafely(fileName, bytes); !status) {
            ctx.log.LogMessage(LogText, status.message);
            return false;
        }
    }
    ctx.log.LogMessage(LogComplete, "");
    return true;
}

}  // namespace quillon
