#include "Subprocess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <optional>

extern char** environ;

namespace quillon::test {

namespace {

struct Spawned {
    pid_t pid = -1;
    int out = -1;
    int err = -1;
};

Spawned Spawn(const std::string& program, const std::vector<std::string>& args)
{
    int out[2];
    int err[2];
    if (pipe(out) != 0) return {};
    if (pipe(err) != 0) {
        close(out[0]);
        close(out[1]);
        return {};
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addclose(&actions, err[0]);

    std::vector<std::string> all{program};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);

    Spawned s;
    if (posix_spawn(&s.pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) s.pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    close(err[1]);
    s.out = out[0];
    s.err = err[0];
    return s;
}

// Reads what is there within `waitMs`; false at end of file.
bool Drain(int fd, std::string& into, int waitMs)
{
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, waitMs) <= 0) return true;
    char buffer[4096];
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) return false;
    into.append(buffer, static_cast<std::size_t>(n));
    return true;
}

int StatusOf(int raw)
{
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

}  // namespace

Finished RunProgram(const std::string& program, const std::vector<std::string>& args,
                    std::chrono::seconds limit)
{
    return RunInterrupted(program, args, Interrupt{}, limit);
}

Finished RunInterrupted(const std::string& program, const std::vector<std::string>& args, const Interrupt& interrupt,
                        std::chrono::seconds limit)
{
    Finished f;
    Spawned s = Spawn(program, args);
    if (s.pid < 0) {
        f.err = "cannot start " + program;
        return f;
    }
    auto deadline = std::chrono::steady_clock::now() + limit;
    bool outOpen = true;
    bool errOpen = true;
    std::optional<std::chrono::steady_clock::time_point> signalAt;
    bool signalled = interrupt.signal == 0;
    while ((outOpen || errOpen) && std::chrono::steady_clock::now() < deadline) {
        if (!signalled && !signalAt && f.out.find(interrupt.seen) != std::string::npos)
            signalAt = std::chrono::steady_clock::now() + interrupt.after;
        if (!signalled && signalAt && std::chrono::steady_clock::now() >= *signalAt) {
            kill(s.pid, interrupt.signal);
            signalled = true;
        }
        pollfd p[2] = {{outOpen ? s.out : -1, POLLIN, 0}, {errOpen ? s.err : -1, POLLIN, 0}};
        if (poll(p, 2, signalled ? 200 : 10) <= 0) continue;
        if (p[0].revents) outOpen = Drain(s.out, f.out, 0);
        if (p[1].revents) errOpen = Drain(s.err, f.err, 0);
    }
    if (outOpen || errOpen) kill(s.pid, SIGKILL);
    int raw = 0;
    waitpid(s.pid, &raw, 0);
    close(s.out);
    close(s.err);
    f.status = (outOpen || errOpen) ? -1 : StatusOf(raw);
    return f;
}

SimulatedGateway::SimulatedGateway(const std::vector<std::string>& args)
{
    Spawned s = Spawn(BinaryPath("sim/tavro-sim"), args);
    pid_ = s.pid;
    outFd_ = s.out;
    errFd_ = s.err;
    if (pid_ < 0) return;
    // The first line it prints is the device path.
    std::string out;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (out.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline)
        if (!Drain(outFd_, out, 100)) break;
    if (auto end = out.find('\n'); end != std::string::npos) path_ = out.substr(0, end);
}

SimulatedGateway::~SimulatedGateway()
{
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        int raw = 0;
        waitpid(pid_, &raw, 0);
    }
    if (outFd_ >= 0) close(outFd_);
    if (errFd_ >= 0) close(errFd_);
}

std::string SimulatedGateway::ErrorText() const
{
    std::string text;
    while (errFd_ >= 0 && Drain(errFd_, text, 0) && !text.empty()) {
        pollfd p{errFd_, POLLIN, 0};
        if (poll(&p, 1, 0) <= 0) break;
    }
    return text;
}

std::string BinaryPath(const std::string& relative)
{
    return std::string(QUILLON_BINARY_DIR) + "/" + relative;
}

}  // namespace quillon::test
