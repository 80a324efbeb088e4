#include "images/FileCommands.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>

#include "core/FileIo.h"
#include "images/HexText.h"
#include "images/IntelHex.h"
#include "images/ProgressGuard.h"

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

// "Left out N bytes beyond the end of the memory, the first at address 0x...".
std::string LeftOutText(std::uint64_t count, std::uint64_t firstAddress, const std::string& memory = "the memory")
{
    return "Left out " + std::to_string(count) + (count == 1 ? " byte" : " bytes") + " beyond the end of " +
           memory + ", the first at address " + "0x" + HexDigits(firstAddress, 8);
}

constexpr std::string_view kEmptyText = "The file is empty: nothing was loaded";
constexpr std::string_view kNoDataText = "The file holds no data: nothing was loaded";
constexpr std::string_view kNoEndText = "The file ends without an end record: it may have been cut short";

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

ProgressStep StepOf(ProgressGuard& progress)
{
    return [&progress](std::uint32_t done, std::uint32_t total) { progress.SetFraction(done, total); };
}

Result LoadHex(const Workspace& ws, const std::string& fileName, MemoryKind kind, FileLoad* load)
{
    HexReadResult result;
    std::string_view part;  // what keeps the file from having loaded completely
    {
        ProgressGuard progress(ws.progress);
        ws.log.LogMessage(LoadMessage(kind), fileName);
        std::string text;
        // Nothing was stored when it cannot be read, so the view stays as it is.
        if (Failure status = ReadWholeFile(fileName, text); status.Failed()) return FileFailure(ws, status);
        result = ReadIntelHex(text, ChipMemory(ws.chip, kind), StepOf(progress));
        if (result.ending == HexReadResult::Ending::EndOfText && result.records == 0) part = kEmptyText;
        else if (result.ending != HexReadResult::Ending::Rejected && result.dataBytes == 0) part = kNoDataText;
        else if (result.ending == HexReadResult::Ending::EndOfText) part = kNoEndText;
        else if (result.ending == HexReadResult::Ending::EndRecord && result.textAfterEnd) part = kAfterEndText;
        if (result.startAddress)
            ws.log.LogMessage(LogText, "The file's start address 0x" + HexDigits(*result.startAddress, 8) +
                                           " is ignored: the chip starts at its reset vector");
        if (result.ending == HexReadResult::Ending::Rejected)
            ws.log.LogMessage(LogWrongFile, result.reason);
        else if (!part.empty())
            ws.log.LogMessage(LogText, part);
        else if (result.droppedBytes == 0)
            ws.log.LogMessage(LogComplete, "");
    }
    // Also after a rejected record or a partial load: what was stored is shown.
    NoteLoaded(load, kind);
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

void NoteLoaded(FileLoad* load, MemoryKind kind)
{
    if (load == nullptr) return;
    (kind == MemoryKind::Program ? load->program : load->data) = true;
}

std::string LogLeftOut(const Workspace& ws, std::uint64_t count, std::uint64_t firstAddress, const std::string& memory)
{
    // Data that had no place in the chip's memory is left out, but the user is told so.
    if (count == 0) return {};
    std::string line = LeftOutText(count, firstAddress, memory);
    ws.log.LogMessage(LogText, line);
    return line;
}

// The file could not be opened, read or written; the log has its name and the system's reason.
Result FileFailure(const Workspace& ws, const Failure& status)
{
    ws.log.LogMessage(LogText, status.words);
    return Result::Failed(FailureKind::File, status.words);
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

Result LoadMemoryFile(const Workspace& ws, const std::string& fileName, MemoryKind kind, FileLoad* load)
{
    return LoadMemoryFileAs(ws, fileName, LoadFormatFor(fileName), kind, load);
}

Result LoadMemoryFileAs(const Workspace& ws, const std::string& fileName, FileFormat format, MemoryKind kind,
                        FileLoad* load)
{
    if (!NeedChip(ws)) return NoChip();
    switch (format) {
    case FileFormat::Binary: return LoadBinFile(ws, fileName, kind, load);
    case FileFormat::SRecord: return LoadSRecordFile(ws, fileName, kind, load);
    case FileFormat::Elf: return LoadElfFile(ws, fileName, kind, load);
    case FileFormat::IntelHex: break;
    }
    return LoadHex(ws, fileName, kind, load);
}

namespace {

std::string ShortAddress(std::uint64_t address)
{
    return "0x" + HexDigits(address, 4);
}

// "Loaded 188 bytes at 0x0000–0x00BB from blink.hex; the rest of the flash is 0xFF".
std::string LoadedText(std::span<const std::uint8_t> covered, const std::string& fileName, MemoryKind kind,
                       LoadInto how)
{
    std::uint64_t count = 0;
    std::uint64_t blocks = 0;
    std::uint64_t first = 0;
    std::uint64_t last = 0;
    for (std::size_t i = 0; i < covered.size(); ++i) {
        if (!covered[i]) continue;
        if (count == 0) first = i;
        if (count == 0 || !covered[i - 1]) ++blocks;
        last = i;
        ++count;
    }
    const std::string memory = kind == MemoryKind::Program ? "flash" : "EEPROM";
    const std::string name = std::filesystem::path(fileName).filename().string();
    std::string text = "Loaded " + std::to_string(count) + (count == 1 ? " byte" : " bytes");
    if (blocks == 1)
        text += " at " + ShortAddress(first) + (count > 1 ? "\u2013" + ShortAddress(last) : "");
    else if (blocks > 1)
        text += " in " + std::to_string(blocks) + " blocks between " + ShortAddress(first) + " and " +
                ShortAddress(last);
    text += " from " + name + "; ";
    if (count == covered.size()) return text + "that is the whole " + memory;
    if (how == LoadInto::Over) return text + "the rest of the " + memory + " is as it was";
    return text + (count == 0 ? "the " + memory + " is all 0xFF" : "the rest of the " + memory + " is 0xFF");
}

}  // namespace

Result LoadMemoryFileWhole(const Workspace& ws, const std::string& fileName, FileFormat format, MemoryKind kind,
                           LoadInto how, FileLoad* load)
{
    if (load != nullptr) *load = {};
    if (!NeedChip(ws)) return NoChip();
    constexpr MemoryKind kKinds[] = {MemoryKind::Program, MemoryKind::Data};
    // The file goes into an erased copy; the images see it only once it loaded whole.
    auto erased = std::make_unique<Chip>(ws.chip);
    for (MemoryKind k : kKinds) std::ranges::fill(ChipMemory(*erased, k), std::uint8_t{0xFF});
    FileLoad taken;
    const Result result = LoadMemoryFileAs({ws.log, *erased, ws.progress}, fileName, format, kind, &taken);
    if (!result.Succeeded() && result.failure != FailureKind::FileBeyond) {
        if (result.failure != FailureKind::NoChip)
            ws.log.LogMessage(LogText, "Nothing was loaded from " + std::filesystem::path(fileName).filename().string() +
                                           ": the views are as they were");
        return result;
    }
    // Which bytes the file gives: they load the same into a copy filled with 0x00, the others
    // keep the fill.
    Log quiet;
    auto zeroed = std::make_unique<Chip>(ws.chip);
    for (MemoryKind k : kKinds) std::ranges::fill(ChipMemory(*zeroed, k), std::uint8_t{0x00});
    LoadMemoryFileAs({quiet, *zeroed, nullptr}, fileName, format, kind);
    for (MemoryKind k : kKinds) {
        if (!(k == MemoryKind::Program ? taken.program : taken.data)) continue;
        const std::span<std::uint8_t> image = ChipMemory(ws.chip, k);
        const std::span<const std::uint8_t> fromFile = ChipMemory(*erased, k);
        const std::span<const std::uint8_t> probe = ChipMemory(*zeroed, k);
        std::vector<std::uint8_t> covered(image.size());
        for (std::size_t i = 0; i < image.size(); ++i) {
            covered[i] = fromFile[i] == probe[i] ? 1 : 0;
            if (how == LoadInto::Replace || covered[i]) image[i] = fromFile[i];
        }
        ws.log.LogMessage(LogText, LoadedText(covered, fileName, k, how));
    }
    if (load != nullptr) *load = std::move(taken);
    return result;
}

Result SaveMemoryFile(const Workspace& ws, const std::string& fileName, int filterIndex, MemoryKind kind)
{
    // Without a chip there are no sizes to save: an empty file reported as complete would only
    // mislead, so nothing is written.
    if (!NeedChip(ws)) return NoChip();
    SaveTarget target = SaveTargetFor(fileName, filterIndex);
    return SaveMemoryFileAs(ws, target.fileName, target.format, kind);
}

Result SaveMemoryFileAs(const Workspace& ws, const std::string& fileName, FileFormat format, MemoryKind kind)
{
    if (!NeedChip(ws)) return NoChip();
    switch (format) {
    case FileFormat::Binary: return SaveBinFile(ws, fileName, kind);
    case FileFormat::SRecord: return SaveSRecordFile(ws, fileName, kind);
    case FileFormat::Elf: {
        ws.log.LogMessage(SaveMessage(kind), fileName);
        const std::string why =
            "Cannot save " + fileName + ": ELF files are made by the compiler; save as Intel HEX, S-record or raw binary";
        ws.log.LogMessage(LogText, why);
        return Result::Failed(FailureKind::File, why);
    }
    case FileFormat::IntelHex: break;
    }
    return SaveHexFile(ws, fileName, kind);
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

Result LoadHexFile(const Workspace& ws, const std::string& fileName, MemoryKind kind, FileLoad* load)
{
    return LoadHex(ws, fileName, kind, load);
}

Result SaveHexFile(const Workspace& ws, const std::string& fileName, MemoryKind kind)
{
    ws.log.LogMessage(SaveMessage(kind), fileName);
    {
        ProgressGuard progress(ws.progress);
        const std::string text = WriteIntelHex(ChipMemory(ws.chip, kind),
                                               kind == MemoryKind::Program, StepOf(progress));
        if (Failure status = WriteFileSafely(fileName, text); status.Failed()) return FileFailure(ws, status);
    }
    ws.log.LogMessage(LogComplete, "");
    return Result::Ok();
}

Result LoadBinFile(const Workspace& ws, const std::string& fileName, MemoryKind kind, FileLoad* load)
{
    std::span<std::uint8_t> memory = ChipMemory(ws.chip, kind);
    const auto size = static_cast<std::uint32_t>(memory.size());
    std::uint64_t fileSize = 0;
    ws.log.LogMessage(LoadMessage(kind), fileName);
    {
        ProgressGuard progress(ws.progress);
        std::string bytes;
        if (Failure status = ReadFileHead(fileName, memory.size(), bytes, fileSize); status.Failed())
            return FileFailure(ws, status);
        // A shorter file leaves the rest of the image as it was.
        for (std::size_t k = 0; k < memory.size(); k += kProgressBlock) {
            if (k < bytes.size())
                std::memcpy(memory.data() + k, bytes.data() + k,
                            std::min<std::size_t>(kProgressBlock, bytes.size() - k));
            progress.SetFraction(static_cast<std::uint32_t>(k + 1), size);
        }
    }
    NoteLoaded(load, kind);
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
        if (Failure status = WriteFileSafely(fileName, bytes); status.Failed()) return FileFailure(ws, status);
    }
    ws.log.LogMessage(LogComplete, "");
    return Result::Ok();
}

}  // namespace quillon
