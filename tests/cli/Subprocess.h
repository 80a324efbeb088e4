// Runs the built programs as a user's shell would: quillon-cli to its end with its output and
// exit status, tavro-sim in the background for as long as a test needs its pseudo-terminal.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include <sys/types.h>

namespace quillon::test {

struct Finished {
    int status = -1;  // the exit status; -1 when the program did not exit by itself
    std::string out;
    std::string err;
};

// Runs `program` with `args` and waits for it; a program still running after `limit` is killed.
Finished RunProgram(const std::string& program, const std::vector<std::string>& args,
                    std::chrono::seconds limit = std::chrono::seconds(300));

// A signal sent to a running program once its standard output shows `seen`, `after` later, as a
// user's Ctrl+C would arrive.
struct Interrupt {
    std::string seen;
    std::chrono::milliseconds after{0};
    int signal = 0;
};

Finished RunInterrupted(const std::string& program, const std::vector<std::string>& args, const Interrupt& interrupt,
                        std::chrono::seconds limit = std::chrono::seconds(120));

// tavro-sim serving a pseudo-terminal; killed when this goes out of scope.
class SimulatedGateway {
public:
    explicit SimulatedGateway(const std::vector<std::string>& args);
    ~SimulatedGateway();
    SimulatedGateway(const SimulatedGateway&) = delete;
    SimulatedGateway& operator=(const SimulatedGateway&) = delete;

    const std::string& Path() const { return path_; }  // empty when it did not start
    std::string ErrorText() const;                      // what it said on stderr so far

private:
    pid_t pid_ = -1;
    int outFd_ = -1;
    int errFd_ = -1;
    std::string path_;
};

std::string BinaryPath(const std::string& relative);  // under the build folder
inline std::string Cli() { return BinaryPath("src/cli/quillon-cli"); }  // this build's quillon-cli

}  // namespace quillon::test
