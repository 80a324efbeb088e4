#include "support/TavroSimProcess.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

extern char** environ;

namespace quillon::test {

namespace {

std::string DefaultBinary()
{
#ifdef QUILLON_BINARY_DIR
    return std::string(QUILLON_BINARY_DIR) + "/sim/tavro-sim";
#else
    const char* dir = std::getenv("QUILLON_BINARY_DIR");
    return std::string(dir ? dir : ".") + "/sim/tavro-sim";
#endif
}

}  // namespace

TavroSimProcess::TavroSimProcess(std::vector<std::string> args, std::string binary)
{
    if (binary.empty()) binary = DefaultBinary();
    args.insert(args.begin(), binary);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    int out[2];
    if (::pipe(out) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    if (::posix_spawn(&pid_, binary.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (FILE* stream = ::fdopen(out[0], "r")) {
        char line[256] = {};
        if (std::fgets(line, sizeof line, stream)) path_ = line;
        std::fclose(stream);
    } else {
        ::close(out[0]);
    }
    while (!path_.empty() && (path_.back() == '\n' || path_.back() == '\r')) path_.pop_back();
}

TavroSimProcess::~TavroSimProcess()
{
    Stop();
}

bool TavroSimProcess::Running()
{
    if (pid_ <= 0) return false;
    if (::waitpid(pid_, &status_, WNOHANG) == 0) return true;
    pid_ = -1;  // reaped: never signal that id again
    return false;
}

int TavroSimProcess::Stop()
{
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, &status_, 0);
        pid_ = -1;
    }
    return status_;
}

}  // namespace quillon::test
