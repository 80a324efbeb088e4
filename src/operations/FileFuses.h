// Fuse and lock bytes that came with a program file, put into the Lock & Fuses dialog's boxes
// for the user to review; writing them stays the dialog's Write command.
#pragma once

#include <string>

#include "images/FileCommands.h"
#include "operations/LockFuses.h"

namespace quillon {

// Checks the file's fuse bytes (low first) into the fuse groups and its lock byte into the lock
// group. Greyed boxes keep their state, as a click would. A file whose number of fuse bytes is
// not the chip's changes nothing: the returned text says why; empty when the boxes were set.
std::string OfferFileFuses(LockFusesDialog& dialog, const Chip& chip, const FileFuses& bytes);

// "fuses E2 D9 FD, lock FE", for the messages that show them.
std::string FileFusesText(const FileFuses& bytes);

}  // namespace quillon
