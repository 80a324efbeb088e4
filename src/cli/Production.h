// quillon-cli's production commands: run-job (chip after chip from a job file, each recorded)
// and records (what a record store holds).
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace quillon::cli {

// Whether the arguments start one of these commands.
bool IsProductionCommand(const std::vector<std::string>& args);

// `args` without the program name; the exit status.
int RunProductionCommand(const std::vector<std::string>& args, std::FILE* out, std::FILE* err, bool watchSignals);

}  // namespace quillon::cli
