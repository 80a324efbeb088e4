// Helpers of the run-job tests: quillon-cli fed an operator's lines through a pipe, the files the
// simulated gateway saves, and a small firmware image with its bytes.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "Subprocess.h"
#include "images/IntelHex.h"

namespace quillon::test {

using namespace std::chrono_literals;

// quillon-cli with a pipe for the operator's lines and its output collected as it comes.
class OperatorRun {
public:
    explicit OperatorRun(const std::vector<std::string>& args)
    {
        int in[2], out[2];
        if (::pipe(in) != 0 || ::pipe(out) != 0) return;
        const std::string program = BinaryPath("src/cli/quillon-cli");
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(in[0], 0);
            ::dup2(out[1], 1);
            ::dup2(out[1], 2);
            ::close(in[1]);
            ::close(out[0]);
            std::vector<std::string> all{program};
            all.insert(all.end(), args.begin(), args.end());
            std::vector<char*> argv;
            for (auto& a : all) argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(program.c_str(), argv.data());
            ::_exit(127);
        }
        ::close(in[0]);
        ::close(out[1]);
        in_ = in[1];
        out_ = out[0];
    }
    ~OperatorRun()
    {
        EndInput();
        if (pid_ > 0 && status_ == kRunning) {
            ::kill(pid_, SIGKILL);
            Wait();
        }
        if (out_ >= 0) ::close(out_);
    }

    void Lines(int count)
    {
        for (int i = 0; i < count; ++i) ASSERT_EQ(::write(in_, "\n", 1), 1);
    }
    void EndInput()
    {
        if (in_ >= 0) ::close(in_);
        in_ = -1;
    }
    bool WaitFor(const std::string& text, std::chrono::seconds limit = 60s)
    {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (output_.find(text) == std::string::npos && std::chrono::steady_clock::now() < deadline)
            if (!Read(100)) break;
        return output_.find(text) != std::string::npos;
    }
    void Signal(int signal) { ::kill(pid_, signal); }
    // The exit status (-1 when killed by a signal).
    int Wait(std::chrono::seconds limit = 180s)
    {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < deadline && Read(100)) {
        }
        int raw = 0;
        if (::waitpid(pid_, &raw, 0) == pid_) status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        return status_;
    }
    const std::string& Output() const { return output_; }

private:
    static constexpr int kRunning = -2;
    pid_t pid_ = -1;
    int in_ = -1, out_ = -1;
    int status_ = kRunning;
    std::string output_;

    bool Read(int waitMs)
    {
        pollfd p{out_, POLLIN, 0};
        if (::poll(&p, 1, waitMs) <= 0) return true;
        char buffer[4096];
        const ssize_t n = ::read(out_, buffer, sizeof buffer);
        if (n <= 0) return false;
        output_.append(buffer, static_cast<std::size_t>(n));
        return true;
    }
};

inline std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// 512 bytes of firmware as Intel HEX, and the same bytes.
inline std::string Firmware(std::string& bytes)
{
    std::vector<std::uint8_t> image(512);
    for (unsigned a = 0; a < image.size(); ++a) image[a] = static_cast<std::uint8_t>((a & ~15u) * 7 + (a & 15u) * 13 + 5);
    bytes.append(image.begin(), image.end());
    return WriteIntelHex(image, false) + "\n";
}

// The 4-byte little-endian serial number at 0x10 of a saved EEPROM.
inline std::uint32_t SerialIn(const std::string& eeprom)
{
    std::uint32_t n = 0;
    for (int i = 3; i >= 0; --i) n = n << 8 | static_cast<std::uint8_t>(eeprom.at(0x10 + static_cast<std::size_t>(i)));
    return n;
}

}  // namespace quillon::test
