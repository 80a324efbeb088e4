// The File menu's program and data commands, after their dialogs: the format is chosen by the
// file name on loading and by the dialog's filter on saving; every step is logged.
#pragma once

#include <string>

#include "core/Context.h"
#include "images/LoadResult.h"
#include "images/MemoryKind.h"

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

// How a file command ended.
enum class FileOutcome {
    Done,     // loaded or saved completely
    NoChip,   // "No chip selected" was logged and nothing happened
    Stopped,  // an Intel HEX load stopped at a line it does not take ("Wrong file"); what came
              // before it was loaded and is shown
    Failed,   // the file could not be opened, read or written: logged with its name and the
              // system's reason, nothing was loaded or replaced
    Incomplete,  // loaded in part (empty, cut short, more after its end, data beyond the
                 // memory): what loaded is shown over what the view held, the rest is not
};

FileOutcome OutcomeOf(const LoadResult& result);

// Loads the file into the memory of that kind, in the format its name says, and shows it in the
// active page's view; logs each step. The result says whether all of the file loaded.
LoadResult LoadImageFile(Context& ctx, const std::string& fileName, MemoryKind kind);

// The commands of the File menu, for the memory of that kind.
FileOutcome LoadMemoryFile(Context& ctx, const std::string& fileName, MemoryKind kind);
FileOutcome SaveMemoryFile(Context& ctx, const std::string& fileName, int filterIndex, MemoryKind kind);

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

}  // namespace quillon
