#include <csignal>
#include <string>
#include <vector>

#include "cli/Run.h"

int main(int argc, char** argv)
{
    // A reader that stops reading the log (`quillon-cli ... | head`) must not kill a write half
    // way through the chip: the lines are then lost, the command still finishes.
    std::signal(SIGPIPE, SIG_IGN);
    std::vector<std::string> args(argv + 1, argv + argc);
    return quillon::cli::Run(args, stdout, stderr, true);
}
