// tavro-sim as a child process for end-to-end tests: started with its options, its printed
// pseudo-terminal path captured, stopped (SIGTERM) when the object goes away.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace quillon::test {

class TavroSimProcess {
public:
    // `binary` defaults to the tavro-sim of this build.
    explicit TavroSimProcess(std::vector<std::string> args, std::string binary = "");
    ~TavroSimProcess();
    TavroSimProcess(const TavroSimProcess&) = delete;
    TavroSimProcess& operator=(const TavroSimProcess&) = delete;

    // The device path it serves; empty when it did not start.
    const std::string& Path() const { return path_; }
    bool Running();
    // Sends SIGTERM and waits; the exit status as waitpid reports it (-1 if not started).
    int Stop();

private:
    pid_t pid_ = -1;
    std::string path_;
    int status_ = -1;
};

}  // namespace quillon::test
