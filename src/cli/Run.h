// quillon-cli from its arguments to its exit status: connect, select the chip, run the commands
// in order with the log on `out` and the progress bar on `err` (when it is a terminal).
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace quillon::cli {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;  // a command did not end with its success line
inline constexpr int kExitUsage = 2;    // the command line is wrong; nothing was done
// 130 and 143 (interrupted, terminated) are the shell's numbers for a run cancelled by SIGINT
// or SIGTERM; quillon-cli leaves them to the signal for now.

int Run(const std::vector<std::string>& args, std::FILE* out = stdout, std::FILE* err = stderr);

}  // namespace quillon::cli
