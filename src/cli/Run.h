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
// A run stopped by SIGHUP, SIGINT or SIGTERM ends with 128 plus the signal's number (129, 130,
// 143), the shell's numbers for a process that signal ended.

// With `watchSignals`, SIGHUP, SIGINT and SIGTERM cancel the command under way instead of ending the
// process at once.
int Run(const std::vector<std::string>& args, std::FILE* out = stdout, std::FILE* err = stderr,
        bool watchSignals = false);

}  // namespace quillon::cli
