// The File menu's program and data commands, after their dialogs: the format is chosen by the
// file name's extension, else by the dialog's filter; every step is logged.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/Context.h"
#include "images/MemoryKind.h"

namespace quillon {

// What a file dialog's filter stands for: the format, and on saving the extension it appends.
// FilterAny (all files) and FilterElf are offered for opening only.
enum SaveFilter : int { FilterAny = 0, FilterHex = 1, FilterEep = 2, FilterBin = 3, FilterSRecord = 4, FilterElf = 5 };

enum class FileFormat { IntelHex, Binary, SRecord, Elf };

// By the name's extension, in any case: ".bin" raw binary; ".elf" ELF; ".srec", ".s19", ".s28",
// ".s37", ".mot" S-record; every other name Intel HEX. A name that ends in "bin" without the
// dot is raw binary too, as it always was.
FileFormat LoadFormatFor(const std::string& fileName);
// The name's extension when it names a format; otherwise the filter's format when it stands
// for one; otherwise as above.
FileFormat LoadFormatFor(const std::string& fileName, int filterIndex);

struct SaveTarget {
    std::string fileName;  // with the filter's extension appended when the name lacks one
    FileFormat format;
};
// A name that already ends in the extension of a format that can be saved (.hex, .eep, .bin,
// an S-record one) is saved as typed in that format, whatever the filter. Any other name gets
// the filter's: 1 Intel HEX as .hex, 2 Intel HEX as .eep, 4 S-record as .srec, any other index
// raw binary as .bin.
SaveTarget SaveTargetFor(const std::string& fileName, int filterIndex);

// Fuse and lock bytes a program file carried (ELF only). They are never written by loading:
// the window offers them in the Lock & Fuses dialog, the command line writes them on request.
struct FileFuses {
    std::vector<std::uint8_t> fuses;  // low, high, extended: as many as the file holds
    std::optional<std::uint8_t> lock;
};

// How a file command ended.
enum class FileOutcome {
    Done,     // loaded or saved completely
    NoChip,   // "No chip selected" was logged and nothing happened
    Stopped,  // an Intel HEX load stopped at a line it does not take ("Wrong file"); what came
              // before it was loaded and is shown
    Failed,   // the file could not be opened, read or written: logged with its name and the
              // system's reason, nothing was loaded or replaced
};

// The commands of the File menu, for the memory of that kind. An ELF file loaded as the
// program also fills the EEPROM image from its EEPROM section, and hands its fuse and lock
// bytes to `fuses` when given.
FileOutcome LoadMemoryFile(Context& ctx, const std::string& fileName, MemoryKind kind,
                           std::optional<FileFuses>* fuses = nullptr);
// As LoadMemoryFile, in the given format whatever the name.
FileOutcome LoadMemoryFileAs(Context& ctx, const std::string& fileName, FileFormat format, MemoryKind kind,
                             std::optional<FileFuses>* fuses = nullptr);
FileOutcome SaveMemoryFile(Context& ctx, const std::string& fileName, int filterIndex, MemoryKind kind);
// Saves under exactly that name in that format (ELF cannot be saved: Failed).
FileOutcome SaveMemoryFileAs(Context& ctx, const std::string& fileName, FileFormat format, MemoryKind kind);

// The four commands; each returns whether the file was loaded or saved completely.
bool LoadProgramFile(Context& ctx, const std::string& fileName);
bool LoadDataFile(Context& ctx, const std::string& fileName);
bool SaveProgramFile(Context& ctx, const std::string& fileName, int filterIndex);
bool SaveDataFile(Context& ctx, const std::string& fileName, int filterIndex);

// The format operations under them; they assume a selected chip and refresh or take the active
// page's view of that kind.
bool LoadHexFile(Context& ctx, const std::string& fileName, MemoryKind kind);
bool SaveHexFile(Context& ctx, const std::string& fileName, MemoryKind kind);
bool LoadBinFile(Context& ctx, const std::string& fileName, MemoryKind kind);
bool SaveBinFile(Context& ctx, const std::string& fileName, MemoryKind kind);
FileOutcome LoadSRecordFile(Context& ctx, const std::string& fileName, MemoryKind kind);
bool SaveSRecordFile(Context& ctx, const std::string& fileName, MemoryKind kind);
FileOutcome LoadElfFile(Context& ctx, const std::string& fileName, MemoryKind kind,
                        std::optional<FileFuses>* fuses = nullptr);

// "Left out N bytes beyond the end of the memory, the first at address 0x...", when N > 0.
void LogLeftOut(Context& ctx, std::uint64_t count, std::uint64_t firstAddress,
                const std::string& memory = "the memory");

}  // namespace quillon
