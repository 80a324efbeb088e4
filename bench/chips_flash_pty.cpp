// A full flash read of an ATtiny85 (and of an ATmega2560) through the real serial link to
// tavro-sim on a pseudo-terminal, paced in real time like a 250000-baud 8N2 line in each
// direction, behind an adapter whose latency timer is 0, 1 ms or 16 ms, with the program sleeping
// for real and the delay value at 0; one read at a time (in flight 1, the exchange as it always
// was) against 4, 8 and 16 answers in flight. The iteration time is the wall time. Counters:
//   ideal_s  wire time of the bytes exchanged (11 bits each, both directions added: half
//            duplex) plus the serial sync of the entry
//   duplex_s wire time of the busier direction plus the sync: what a full-duplex exchange with
//            answers in flight could reach
//   ratio    wall time / ideal_s
// Only the read is measured here: a terminal takes written bytes at once, so the program's
// waits after a page overlap the transfer of the bytes before them, which a drained serial line
// does not allow, and a write would look faster than the line can be. The ATmega2560's full
// flash takes minutes on such a line; the writes and the ATmega2560 are measured on the paced
// in-process simulator in chips_flash.
#include <benchmark/benchmark.h>

#include <sys/prctl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include "chips/Catalogue.h"
#include "chips/ChipTable.h"
#include "chips/MemoryWalk.h"
#include "operations/ChipSelection.h"
#include "operations/Session.h"
#include "support/TavroSimProcess.h"

namespace quillon {
namespace {

constexpr double kByteMs = 0.044;

// Counts the bytes that pass through the real transport.
class CountingTransport final : public Transport {
public:
    CountingTransport(std::unique_ptr<Transport> inner, std::uint64_t& sent, std::uint64_t& received)
        : inner_(std::move(inner)), sent_(sent), received_(received) {}
    bool Write(std::span<const std::uint8_t> b) override
    {
        sent_ += b.size();
        return inner_->Write(b);
    }
    std::size_t Read(std::span<std::uint8_t> b, std::chrono::milliseconds timeout) override
    {
        const std::size_t n = inner_->Read(b, timeout);
        received_ += n;
        return n;
    }
    std::size_t ReadUntilPause(std::span<std::uint8_t> b, std::size_t needed, std::chrono::milliseconds timeout,
                               std::chrono::microseconds pause) override
    {
        const std::size_t n = inner_->ReadUntilPause(b, needed, timeout, pause);
        received_ += n;
        return n;
    }
    std::size_t Queued(std::chrono::microseconds settle) override { return inner_->Queued(settle); }
    void DiscardInput() override { inner_->DiscardInput(); }

private:
    std::unique_ptr<Transport> inner_;
    std::uint64_t& sent_;
    std::uint64_t& received_;
};

// state.range(0): the adapter's latency timer in microseconds; state.range(1): answers in flight
// (0: the default, automatic within the gateway's input). The gateway's input holds 32 bytes:
// counter lost_bytes says how many it lost.
void Flash(benchmark::State& state, const std::string& chip)
{
    const auto adapterLatencyUs = state.range(0);
    const int inFlight = static_cast<int>(state.range(1));
    double ideal = 0;
    for (auto _ : state) {
        // tavro-sim paces the line with short sleeps, and inherits this timer slack: the default
        // 50 us would be an error of the simulator's clock, not of the program.
        prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);
        const std::string lostFile = "/tmp/quillon-bench-lost-" + std::to_string(::getpid());
        test::TavroSimProcess sim({"--chip", chip, "--pace", "--adapter-latency-us", std::to_string(adapterLatencyUs),
                                   "--input-buffer", "32", "--save-lost", lostFile});
        if (sim.Path().empty()) {
            state.SkipWithError("tavro-sim did not start");
            return;
        }
        std::uint64_t sent = 0, received = 0;
        Session ctx([&sent, &received](const std::string& path) {
            OpenedPort port = OpenSerialPort(path);
            if (port.transport)
                port.transport = std::make_unique<CountingTransport>(std::move(port.transport), sent, received);
            return port;
        });
        ctx.bus.delay = 0;
        ctx.bus.link.OpenPort(sim.Path());
        SelectChip(ctx, FindChipByName(chip)->signature);
        const ChipRow& entry = *FindChip(ctx.chip.signature);
        sent = received = 0;

        const auto start = std::chrono::steady_clock::now();
        const bool ok = ReadMemory(ctx.bus, entry, TargetOf(ctx.chip), MemoryKind::Program,
                                   ChipMemory(ctx.chip, MemoryKind::Program), {}, {.answersInFlight = inFlight})
                            .Done();
        const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
        if (!ok) {
            state.SkipWithError("the driver failed");
            return;
        }
        constexpr double kSyncMs = 20.0;
        ideal = (static_cast<double>(sent + received) * kByteMs + kSyncMs) / 1000.0;
        state.SetIterationTime(wall.count());
        state.counters["ideal_s"] = ideal;
        state.counters["duplex_s"] = (static_cast<double>(std::max(sent, received)) * kByteMs + kSyncMs) / 1000.0;
        state.counters["ratio"] = wall.count() / ideal;
        sim.Stop();
        long lost = -1;
        std::ifstream(lostFile) >> lost;
        std::remove(lostFile.c_str());
        state.counters["lost_bytes"] = static_cast<double>(lost);
        state.counters["ratio_duplex"] = wall.count() / state.counters["duplex_s"];
    }
}

BENCHMARK_CAPTURE(Flash, read_ATtiny85, std::string("ATtiny85"))
    ->ArgNames({"latency_us", "in_flight"})
    ->ArgsProduct({{0, 1000, 16000}, {1, 4, 8, 16, 0}})
    ->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
// A whole ATmega2560 is minutes of line time even at its best, and over an hour one answer at a
// time behind a 16 ms adapter: one at a time and 16 in flight only.
BENCHMARK_CAPTURE(Flash, read_ATmega2560, std::string("ATmega2560"))
    ->ArgNames({"latency_us", "in_flight"})
    ->ArgsProduct({{0, 1000, 16000}, {1, 16, 0}})
    ->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
}  // namespace quillon

BENCHMARK_MAIN();
