// How loading a file into a memory image ended, as a value callers act on: a command that
// writes or verifies must not take an image that loaded in part. Every file format's reader
// reports into it; the log lines only show it.
#pragma once

#include <cstdint>
#include <string>

namespace quillon {

enum class LoadFault {
    None,          // the file loaded completely
    NoChip,        // no chip selected: nothing was loaded
    Unreadable,    // the file could not be opened or read: nothing was loaded
    Rejected,      // a record the reader does not take: what came before it was loaded
    Empty,         // the file holds no data at all
    NoEnd,         // the file stops without its end record, as a cut-off download does
    DataAfterEnd,  // records follow the end record and were not loaded
    BeyondMemory,  // data addressed beyond the end of the memory was left out
};

struct LoadResult {
    LoadFault fault = LoadFault::None;
    std::string message;  // what is wrong, in one line; empty when the file loaded completely

    bool Complete() const { return fault == LoadFault::None; }
    // All that fits the memory loaded: only data beyond its end is missing, which a user may
    // knowingly accept.
    bool OnlyBeyondMemory() const { return fault == LoadFault::BeyondMemory; }

    // Keeps the graver of two faults (the earlier in LoadFault's list), so that one that may be
    // accepted never hides one that may not.
    void Note(LoadFault f, std::string text)
    {
        if (f == LoadFault::None || (fault != LoadFault::None && fault <= f)) return;
        fault = f;
        message = std::move(text);
    }
};

}  // namespace quillon
