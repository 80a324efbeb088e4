// The File menu's program and data commands, after their dialogs: the format is chosen by the
// file name's extension, else by the dialog's filter; every step is logged.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "chips/MemoryKind.h"
#include "core/FileIo.h"
#include "core/Result.h"
#include "images/Workspace.h"

namespace quillon {

// What a file dialog's filter stands for: the format, and on saving the extension it appends.
// FilterAny (all files) and FilterElf are offered for opening only.
enum SaveFilter : int { FilterAny = 0, FilterHex = 1, FilterEep = 2, FilterBin = 3, FilterSRecord = 4, FilterElf = 5 };

enum class FileFormat { IntelHex, Binary, SRecord, Elf };

// By the name's extension, in any case: ".bin" raw binary; ".elf" ELF; ".srec", ".s19", ".s28",
// ".s37", ".mot" S-record; every other name Intel HEX. A name that ends in "bin" without the
// dot is raw binary too: build scripts name their output that way (kept: docs/compatibility.md).
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

// What a load leaves for a front end besides its result: the images it put bytes into, which a
// window shows again (also after some failures, see below), and the fuse and lock bytes a program
// file carried.
struct FileLoad {
    bool program = false;
    bool data = false;
    std::optional<FileFuses> fuses;
};

// The commands of the File menu, for the memory of that kind. They succeed when the file was
// loaded or saved completely, and fail with
//   NoChip       "No chip selected" was logged and nothing happened;
//   FileContent  a load stopped at a line it does not take ("Wrong file"); for Intel HEX what
//                came before it was loaded and is shown, S-record and ELF files load nothing;
//   File         the file could not be opened, read or written: logged with its name and the
//                system's reason, nothing was loaded or replaced;
//   FilePart     the file is empty, ends without its end record or goes on after it;
//   FileBeyond   some of its data lies beyond the end of the memory and was left out.
// `load`, when given, names the images to show again: after success, and after FilePart,
// FileBeyond and an Intel HEX FileContent, where what did load goes over what the view held.
// An ELF file loaded as the program also fills the EEPROM image from its EEPROM section, and
// hands its fuse and lock bytes to `load`.
Result LoadMemoryFile(const Workspace& ws, const std::string& fileName, MemoryKind kind,
                      FileLoad* load = nullptr);
// As LoadMemoryFile, in the given format whatever the name.
Result LoadMemoryFileAs(const Workspace& ws, const std::string& fileName, FileFormat format, MemoryKind kind,
                        FileLoad* load = nullptr);
Result SaveMemoryFile(const Workspace& ws, const std::string& fileName, int filterIndex, MemoryKind kind);
// What a load does with the bytes the file does not give.
enum class LoadInto {
    Replace,  // the memory becomes the file's bytes and 0xFF everywhere else
    Over,     // the file's bytes go over what the image holds; the rest stays
};

// The window's load: all or nothing. The file is read into a copy first, and only a load that
// took the whole file (or all of it but data beyond the memory's end: FileBeyond) reaches the
// image; a file refused at a line, cut short, going on after its end or unreadable leaves every
// image exactly as it was and `load` names none. A load that reached an image logs what it
// filled: "Loaded 188 bytes at 0x0000–0x00BB from blink.hex; the rest of the flash is 0xFF".
// An ELF file loaded as the program fills (or replaces) the EEPROM image too when it has an
// EEPROM section.
Result LoadMemoryFileWhole(const Workspace& ws, const std::string& fileName, FileFormat format, MemoryKind kind,
                           LoadInto how, FileLoad* load = nullptr);

// Saves under exactly that name in that format (ELF cannot be saved: fails with File).
Result SaveMemoryFileAs(const Workspace& ws, const std::string& fileName, FileFormat format, MemoryKind kind);

// The four commands of the menu.
Result LoadProgramFile(const Workspace& ws, const std::string& fileName);
Result LoadDataFile(const Workspace& ws, const std::string& fileName);
Result SaveProgramFile(const Workspace& ws, const std::string& fileName, int filterIndex);
Result SaveDataFile(const Workspace& ws, const std::string& fileName, int filterIndex);

// The format operations under them; they assume a selected chip. A save writes the image of that
// kind as it is: a front end first takes its view's bytes into it.
Result LoadHexFile(const Workspace& ws, const std::string& fileName, MemoryKind kind, FileLoad* load = nullptr);
Result SaveHexFile(const Workspace& ws, const std::string& fileName, MemoryKind kind);
Result LoadBinFile(const Workspace& ws, const std::string& fileName, MemoryKind kind, FileLoad* load = nullptr);
Result SaveBinFile(const Workspace& ws, const std::string& fileName, MemoryKind kind);
Result LoadSRecordFile(const Workspace& ws, const std::string& fileName, MemoryKind kind, FileLoad* load = nullptr);
Result SaveSRecordFile(const Workspace& ws, const std::string& fileName, MemoryKind kind);
Result LoadElfFile(const Workspace& ws, const std::string& fileName, MemoryKind kind, FileLoad* load = nullptr);

// Notes in `load`, when given, that the image of that kind took bytes from the file.
void NoteLoaded(FileLoad* load, MemoryKind kind);

// Logs "Left out N bytes beyond the end of the memory, the first at address 0x..." when N > 0
// and gives that line; empty when nothing was left out.
std::string LogLeftOut(const Workspace& ws, std::uint64_t count, std::uint64_t firstAddress,
                       const std::string& memory = "the memory");

// The line of a file that goes on after its end record, whatever its format.
inline constexpr std::string_view kAfterEndText = "The file goes on after its end record: the rest was not loaded";
// The failure of a file that could not be opened, read or written, logged with its reason.
Result FileFailure(const Workspace& ws, const Failure& status);

}  // namespace quillon
