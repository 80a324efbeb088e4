// One command of the command line on the core's operations: the file commands around the memory
// commands, the fuse bytes through the Lock & Fuses model. True when it fully succeeded.
#pragma once

#include <cstdio>

#include "cli/Options.h"
#include "operations/Confirmation.h"

namespace quillon {
struct Context;
}

namespace quillon::cli {

// `force`: a file whose only fault is data beyond the memory is written and verified anyway.
bool RunCommand(Context& ctx, const Command& command, const Confirm& confirm, bool force, std::FILE* out,
                std::FILE* err);

}  // namespace quillon::cli
