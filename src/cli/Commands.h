// One command of the command line on the core's operations: the file commands around the memory
// commands, the fuse bytes through the Lock & Fuses model.
#pragma once

#include "cli/Options.h"
#include "cli/Output.h"
#include "core/Result.h"
#include "operations/Confirmation.h"

namespace quillon {
struct Session;
}

namespace quillon::cli {

// How the command ended; a command of two steps (a file and the chip) ends with the first that
// did not succeed. From the options: with `force` a file whose only fault is data beyond the
// memory is written and verified anyway; with `wholeMemory` a verify compares the whole memory,
// not only the bytes the file gives; with `verifyWrites` a write is verified against its file
// and succeeds only when the chip holds it.
Result RunCommand(Session& session, const Command& command, const Confirm& confirm, const Options& options,
                  Output& output);

}  // namespace quillon::cli
