// What the gateway link adds to a round trip on a pseudo-terminal: ReadPINC as bare write and
// read calls and through the link, against an echoing peer and against tavro-sim. "pickup_us"
// is the time from the peer's answer write to ReadAnswer returning with it.
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

#include "operations/ChipSelection.h"
#include "operations/Session.h"
#include "support/TavroSimProcess.h"

namespace {

using Clock = std::chrono::steady_clock;

// A pty whose master side answers the handshake probe and the port reads with one byte each,
// and notes when it wrote.
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
                // Only the answering commands answer, as on the gateway: the link refuses bytes
                // it did not ask for.
                if (buf[i] != 0x04 && buf[i] != 0x17 && buf[i] != 0x18) continue;
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

void LinkRoundTrips(benchmark::State& state, quillon::Session& ctx, const EchoPeer* peer)
{
    double pickup = 0;
    for (auto _ : state) {
        ctx.bus.link.SendPacket(quillon::Packet{quillon::ReadPINC()});
        quillon::Answer a = ctx.bus.link.ReadAnswer(1);
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
    quillon::Session ctx;
    ctx.bus.link.OpenPort(peer.Path());
    if (!ctx.bus.link.IsOpen()) {
        state.SkipWithError("cannot open the pty");
        return;
    }
    LinkRoundTrips(state, ctx, &peer);
}
BENCHMARK(BM_LinkReadPINC_EchoPeer)->UseRealTime();

// The same ReadPINC as plain write and read calls on a raw pty, with nothing of the link.
void BM_BareReadPINC_TavroSim(benchmark::State& state)
{
    quillon::test::TavroSimProcess sim({"--chip", "ATmega8"});
    int fd = sim.Path().empty() ? -1 : open(sim.Path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        state.SkipWithError("tavro-sim did not start");
        return;
    }
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    tcsetattr(fd, TCSANOW, &t);
    const unsigned char handshake[] = {0x0A, 0x08, 0x00, 0x1E, 0x04};
    (void)!write(fd, handshake, sizeof handshake);
    unsigned char b = 0;
    for (pollfd p{fd, POLLIN, 0}; poll(&p, 1, 1000) > 0 && read(fd, &b, 1) != 1;) {
    }
    for (auto _ : state) {
        b = 0x18;
        (void)!write(fd, &b, 1);
        tcdrain(fd);  // as a serial write waits until its bytes left, so does this one
        for (;;) {
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, 1000) <= 0) {
                state.SkipWithError("no answer");
                break;
            }
            if (read(fd, &b, 1) == 1) break;
        }
    }
    close(fd);
}
BENCHMARK(BM_BareReadPINC_TavroSim)->UseRealTime();

void BM_LinkReadPINC_TavroSim(benchmark::State& state)
{
    quillon::test::TavroSimProcess sim({"--chip", "ATmega8"});
    quillon::Session ctx;
    if (!sim.Path().empty()) ctx.bus.link.OpenPort(sim.Path());
    if (!ctx.bus.link.IsOpen()) {
        state.SkipWithError("cannot open tavro-sim's pty");
        return;
    }
    LinkRoundTrips(state, ctx, nullptr);
}
BENCHMARK(BM_LinkReadPINC_TavroSim)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
