// One command of the command line on the core's operations: the file commands around the memory
// commands, the fuse bytes through the Lock & Fuses model. True when it fully succeeded.
#pragma once

#include "cli/Options.h"
#include "cli/Output.h"
#include "operations/Confirmation.h"

namespace quillon {
struct Context;
}

namespace quillon::cli {

bool RunCommand(Context& ctx, const Command& command, const Confirm& confirm, Output& output);

}  // namespace quillon::cli
