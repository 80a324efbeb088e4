// The File menu's program and data commands, after their dialogs: the format is chosen by the
// file name on loading and by the dialog's filter on saving; every step is logged.
#pragma once

#include <string>

#include "chips/MemoryKind.h"
#include "core/Result.h"
#include "images/Workspace.h"

namespace quillon {

// The save dialog's filter list, in order: "*.hex", "*.eep", "*.bin".
enum SaveFilter : int { FilterHex = 1, FilterEep = 2, FilterBin = 3 };

enum class FileFormat { IntelHex, Binary };

// A name ending in "bin" (any case) is a raw binary file; every other name is Intel HEX.
FileFormat LoadFormatFor(const std::string& fileName);

struct SaveTarget {
    std::string fileName;  // with the filter's extension appended when the name lacks it
    FileFormat format;
};
// Filter 1 saves Intel HEX as .hex, 2 Intel HEX as .eep, any other index raw binary as .bin.
SaveTarget SaveTargetFor(const std::string& fileName, int filterIndex);

// The commands of the File menu, for the memory of that kind. They succeed when the file was
// loaded or saved completely, and fail with
//   NoChip       "No chip selected" was logged and nothing happened;
//   FileContent  an Intel HEX load stopped at a line it does not take ("Wrong file"); what came
//                before it was loaded and is shown;
//   File         the file could not be opened, read or written: logged with its name and the
//                system's reason, nothing was loaded or replaced;
//   FilePart     the file is empty, ends without its end record or goes on after it;
//   FileBeyond   some of its data lies beyond the end of the memory and was left out.
// After FilePart and FileBeyond what did load is shown over what the view held.
Result LoadMemoryFile(const Workspace& ws, const std::string& fileName, MemoryKind kind);
Result SaveMemoryFile(const Workspace& ws, const std::string& fileName, int filterIndex, MemoryKind kind);

// The four commands of the menu.
Result LoadProgramFile(const Workspace& ws, const std::string& fileName);
Result LoadDataFile(const Workspace& ws, const std::string& fileName);
Result SaveProgramFile(const Workspace& ws, const std::string& fileName, int filterIndex);
Result SaveDataFile(const Workspace& ws, const std::string& fileName, int filterIndex);

// The format operations under them; they assume a selected chip and refresh or take the active
// page's view of that kind.
Result LoadHexFile(const Workspace& ws, const std::string& fileName, MemoryKind kind);
Result SaveHexFile(const Workspace& ws, const std::string& fileName, MemoryKind kind);
Result LoadBinFile(const Workspace& ws, const std::string& fileName, MemoryKind kind);
Result SaveBinFile(const Workspace& ws, const std::string& fileName, MemoryKind kind);

}  // namespace quillon
