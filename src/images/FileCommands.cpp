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

// What the Intel HEX reader found, as the load's result.
LoadResult ResultOf(const HexReadResult& read)
{
    LoadResult result;
    switch (read.ending) {
    case HexReadResult::Ending::Rejected: result.Note(LoadFault::Rejected, "Wrong file" + read.reason); break;
    case HexReadResult::Ending::EndOfText:
        if (read.records == 0) result.Note(LoadFault::Empty, std::string(kEmptyText));
        else result.Note(LoadFault::NoEnd, std::string(kNoEndText));
        break;
    case HexReadResult::Ending::EndRecord:
        if (read.textAfterEnd) result.Note(LoadFault::DataAfterEnd, std::string(kAfterEndText));
        break;
    }
    if (read.droppedBytes > 0)
        result.Note(LoadFault::BeyondMemory, LeftOutText(read.droppedBytes, read.firstDropped));
    return result;
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

LoadResult LoadHex(Context& ctx, const std::string& fileName, MemoryKind kind)
{
    HexReadResult read;
    LoadResult result;
    {
        ProgressGuard progress(ctx.progress);
        ctx.log.LogMessage(LoadMessage(kind), fileName);
        std::string text;
        if (FileStatus status = ReadWholeFile(fileName, text); !status) {
            // Nothing was stored, so the view stays as it is.
            ctx.log.LogMessage(LogText, status.message);
            result.Note(LoadFault::Unreadable, status.message);
            return result;
        }
        read = ReadIntelHex(text, ChipMemory(ctx.chip, kind), StepOf(progress));
        result = ResultOf(read);
        if (read.ending == HexReadResult::Ending::Rejected)
            ctx.log.LogMessage(LogWrongFile, read.reason);
        else if (result.Complete())
            ctx.log.LogMessage(LogComplete, "");
        else if (result.fault != LoadFault::BeyondMemory)
            ctx.log.LogMessage(LogText, result.message);
    }
    // Also after a rejected record: what was stored before it is shown.
    FillActiveView(ctx, kind);
    if (read.droppedBytes > 0) ctx.log.LogMessage(LogText, LeftOutText(read.droppedBytes, read.firstDropped));
    return result;
}

LoadResult LoadBin(Context& ctx, const std::string& fileName, MemoryKind kind)
{
    std::span<std::uint8_t> memory = ChipMemory(ctx.chip, kind);
    const auto size = static_cast<std::uint32_t>(memory.size());
    std::uint64_t fileSize = 0;
    LoadResult result;
    ctx.log.LogMessage(LoadMessage(kind), fileName);
    {
        ProgressGuard progress(ctx.progress);
        std::string bytes;
        if (FileStatus status = ReadFileHead(fileName, memory.size(), bytes, fileSize); !status) {
            ctx.log.LogMessage(LogText, status.message);
            result.Note(LoadFault::Unreadable, status.message);
            return result;
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
    if (fileSize == 0) result.Note(LoadFault::Empty, std::string(kEmptyText));
    if (fileSize > size) result.Note(LoadFault::BeyondMemory, LeftOutText(fileSize - size, size));
    ctx.log.LogMessage(result.Complete() ? LogComplete : LogText, result.message);
    return result;
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

FileOutcome OutcomeOf(const LoadResult& result)
{
    switch (result.fault) {
    case LoadFault::None: return FileOutcome::Done;
    case LoadFault::NoChip: return FileOutcome::NoChip;
    case LoadFault::Unreadable: return FileOutcome::Failed;
    case LoadFault::Rejected: return FileOutcome::Stopped;
    default: return FileOutcome::Incomplete;
    }
}

LoadResult LoadImageFile(Context& ctx, const std::string& fileName, MemoryKind kind)
{
    if (!NeedChip(ctx)) {
        LoadResult result;
        result.Note(LoadFault::NoChip, std::string(LogPrefix(LogNoChip)));
        return result;
    }
    if (LoadFormatFor(fileName) == FileFormat::Binary) return LoadBin(ctx, fileName, kind);
    return LoadHex(ctx, fileName, kind);
}

FileOutcome LoadMemoryFile(Context& ctx, const std::string& fileName, MemoryKind kind)
{
    return OutcomeOf(LoadImageFile(ctx, fileName, kind));
}

FileOutcome SaveMemoryFile(Context& ctx, const std::string& fileName, int filterIndex, MemoryKind kind)
{
    // Without a chip there are no sizes to save: an empty file reported as complete would only
    // mislead, so nothing is written.
    if (!NeedChip(ctx)) return FileOutcome::NoChip;
    SaveTarget target = SaveTargetFor(fileName, filterIndex);
    if (target.format == FileFormat::Binary) return Outcome(SaveBinFile(ctx, target.fileName, kind));
    return Outcome(SaveHexFile(ctx, target.fileName, kind));
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
    return LoadHex(ctx, fileName, kind).Complete();
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
    return LoadBin(ctx, fileName, kind).Complete();
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
