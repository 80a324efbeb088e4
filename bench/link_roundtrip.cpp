// What the gateway link adds to a round trip on a pseudo-terminal: a bare write and read of
// one byte against an echoing peer, the link's ReadPINC against the same peer, and the
// link's ReadPINC against tavro-sim. "pickup_us" is the time from the peer's answer write to
// ReadAnswer returning with it.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "core/Context.h"

namespace {

using Clock = std::chrono::steady_clock;

// A pty whose master side answers every byte it reads with one byte, and notes when it wrote.
class EchoPeer {
public:
    EchoPeer()
    {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        grantpt(master_);
        unlockpt(master_);
        slave_ = ptsname(master_);
        termios t{};
        tcgetattr(master_, &t);
        cfmakeraw(&t);
        tcsetattr(master_, TCSANOW, &t);
        thread_ = std::thread([this] { Serve(); });
    }
    ~EchoPeer()
    {
        stop_ = true;
        thread_.join();
        close(master_);
    }
    const std::string& Path() const { return slave_; }
    Clock::time_point LastAnswer() const { return Clock::time_point(Clock::duration(lastAnswer_.load())); }

private:
    void Serve()
    {
        while (!stop_) {
            pollfd p{master_, POLLIN, 0};
            if (poll(&p, 1, 20) <= 0 || !(p.revents & POLLIN)) continue;
            unsigned char buf[64];
            ssize_t n = read(master_, buf, sizeof buf);
            for (ssize_t i = 0; i < n; ++i) {
                unsigned char answer = 0x01;  // RDY/BSY high
                lastAnswer_ = Clock::now().time_since_epoch().count();
                (void)!write(master_, &answer, 1);
            }
        }
    }
    int master_ = -1;
    std::string slave_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<Clock::rep> lastAnswer_{0};
};

void BM_BarePtyRoundTrip(benchmark::State& state)
{
    EchoPeer peer;
    int fd = open(peer.Path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    tcsetattr(fd, TCSANOW, &t);
    for (auto _ : state) {
        unsigned char b = 0x18;
        (void)!write(fd, &b, 1);
        tcdrain(fd);
        for (;;) {
            pollfd p{fd, POLLIN, 0};
            poll(&p, 1, 1000);
            if (read(fd, &b, 1) == 1) break;
        }
    }
    close(fd);
}
BENCHMARK(BM_BarePtyRoundTrip)->UseRealTime();

void LinkRoundTrips(benchmark::State& state, quillon::Context& ctx, const EchoPeer* peer)
{
    double pickup = 0;
    for (auto _ : state) {
        ctx.link.SendPacket(quillon::Packet{quillon::ReadPINC()});
        quillon::Answer a = ctx.link.ReadAnswer(1);
        if (peer) pickup += std::chrono::duration<double, std::micro>(Clock::now() - peer->LastAnswer()).count();
        if (a.count != 1) {
            state.SkipWithError("no answer");
            break;
        }
    }
    if (peer) state.counters["pickup_us"] = pickup / static_cast<double>(state.iterations());
}

void BM_LinkReadPINC_EchoPeer(benchmark::State& state)
{
    EchoPeer peer;
    quillon::Context ctx;
    ctx.link.OpenPort(peer.Path());
    if (!ctx.link.IsOpen()) {
        state.SkipWithError("cannot open the pty");
        return;
    }
    LinkRoundTrips(state, ctx, &peer);
}
BENCHMARK(BM_LinkReadPINC_EchoPeer)->UseRealTime();

void BM_LinkReadPINC_TavroSim(benchmark::State& state)
{
    const std::string command = std::string(QUILLON_BINARY_DIR) + "/sim/tavro-sim --chip ATmega8";
    FILE* sim = popen(command.c_str(), "r");
    char path[256] = {};
    if (!sim || !fgets(path, sizeof path, sim)) {
        state.SkipWithError("tavro-sim did not start");
        if (sim) pclose(sim);
        return;
    }
    std::string device(path);
    while (!device.empty() && (device.back() == '\n' || device.back() == '\r')) device.pop_back();
    {
        quillon::Context ctx;
        ctx.link.OpenPort(device);
        if (ctx.link.IsOpen())
            LinkRoundTrips(state, ctx, nullptr);
        else
            state.SkipWithError("cannot open tavro-sim's pty");
    }
    std::system("pkill -f 'sim/tavro-sim --chip ATmega8' >/dev/null 2>&1");
    pclose(sim);
}
BENCHMARK(BM_LinkReadPINC_TavroSim)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
